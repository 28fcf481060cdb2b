// The processor on real devices, without its window: `echora-cli devices` lists what the
// device selectors would offer, `echora-cli live` runs the engine between two of them.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

#include "tools/engine_options.h"

// What each stream may ask the sound server to buffer, in milliseconds.
constexpr int kMinLatencyMs = 5;
constexpr int kMaxLatencyMs = 2000;

struct LiveOptions {
  EngineOptions engine;           // the rate defaults to 44100 Hz
  std::optional<int> capture;     // the server's default source when not given
  std::optional<int> playback;    // the server's default sink when not given
  std::optional<double> seconds;  // until interrupted when not given
  // What each stream asks the server to buffer; when not given, it follows the buffer
  // period as in the window. Never longer than a period.
  std::optional<std::chrono::milliseconds> latency;
  std::string server;  // empty: the user's sound server
};

// Lists the capture and the playback devices with their numbers. Returns the exit status:
// 1 when no sound server answers, with its reason on `err`.
int ListDevices(const std::string& server, std::ostream& out, std::ostream& err);

// Switches the engine on between the two devices until the time is up, SIGINT or SIGTERM
// arrives, or both streams have ended (the server or the devices gone), then off in the
// proper order, and reports what it saw. A device number given that the server does not
// have ends the run at once, said in plain words; a missing default is said too, before
// the engine's own lines. A capture device that records the playback device is refused.
// Returns 0; 1 when a device given is missing, the engine reported a failure (each printed
// as it came) or no server answers; 2 for options that cannot work.
int RunLive(const LiveOptions& options, std::ostream& out, std::ostream& err);
