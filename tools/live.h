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
  EngineOptions engine;  // the rate defaults to 44100 Hz
  int capture = 0;
  int playback = 0;
  std::optional<double> seconds;  // until interrupted when not given
  std::chrono::milliseconds latency{40};
  std::string server;  // empty: the user's sound server
};

// Lists the capture and the playback devices with their numbers. Returns the exit status.
int ListDevices(const std::string& server, std::ostream& out);

// Switches the engine on between the two devices until the time is up or SIGINT or SIGTERM
// arrives, then off in the proper order, and reports what it saw. Returns 0, or 1 when the
// engine reported a failure (each printed as it came).
int RunLive(const LiveOptions& options, std::ostream& out, std::ostream& err);
