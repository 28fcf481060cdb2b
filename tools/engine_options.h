// The settings every echora-cli command gives the engine: the echo sliders, the rate and the
// buffer multiplier, and whether the echo thread runs.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "echo/echo_rules.h"

struct EngineOptions {
  std::optional<std::string> preset;
  std::optional<std::int32_t> delayMs;
  std::optional<std::int32_t> repeats;  // 0..10
  std::optional<std::int32_t> volume;   // percent, 1..5000
  std::optional<std::int32_t> rate;     // one of the selector's rates
  std::int32_t multiplier = 8;          // 2..99
  bool echo = true;
};

// The echo sliders the options give: the start-up preset or the named one, then the
// repeats, the delay (held within what the buffer allows) and the volume given. Writes a
// note to `notes` for every value it had to change. Nothing for an unknown preset.
std::optional<EchoSliders> ResolveSliders(const EngineOptions& options, std::int32_t bufferSize,
                                          std::int32_t sampleRate, std::ostream& notes);

// The processor's rate nearest to `rate`: what an input at a rate the processor lacks is
// converted to when no --rate is given.
std::int32_t NearestSelectableRate(std::int32_t rate);

// Sets the engine's five settings for `rate` and the options, lowering the multiplier to
// fit the largest buffer (with a note). False, with a one-line error, for an unknown
// preset or a rate the processor does not run at.
bool ConfigureEngine(const EngineOptions& options, std::int32_t rate, std::ostream& err);
