// A private sound server for tests: PulseAudio in the foreground with runtime, state and
// home folders of its own, no D-Bus, no hardware and no autospawn, listening on a socket
// of its own. It has two null sinks, "echora_in" and "echora_out" (described as "Echora
// In" and "Echora Out"); their monitors are its two sources. Started by the constructor,
// stopped by the destructor through its pid.
#pragma once

#include <sys/types.h>

#include <string>

class PulseTestServer {
 public:
  // Throws std::runtime_error when the server does not answer within ten seconds.
  PulseTestServer();
  ~PulseTestServer();
  PulseTestServer(const PulseTestServer&) = delete;
  PulseTestServer& operator=(const PulseTestServer&) = delete;

  // What a client connects to: "unix:<folder>/native".
  std::string Address() const { return "unix:" + dir_ + "/native"; }
  // Runs pactl against this server; returns its exit status, its output in `output`.
  int Pactl(const std::string& args, std::string* output = nullptr) const;
  // Unloads the null sink of that name, and so its monitor; true when it was there.
  bool UnloadSink(const std::string& sinkName) const;
  // Ends the server at once, as a crash would.
  void Kill();

 private:
  std::string dir_;
  pid_t pid_ = -1;
};
