// The echo pass's settings from the echo sliders' positions: the one place that turns them
// into EchoDelay, EchoStep and EchoVolume, for the window's slider handlers, the command
// line, the benchmarks and the test rigs alike.
#pragma once

#include <cstdint>

#include "echo/echo_rules.h"

// The delay slider counts stereo frames; the pass counts 16-bit slots, two a frame.
constexpr std::int32_t EchoDelayFor(std::int32_t delayPosition) {
  return delayPosition * 2;
}

// One slider's setting each, as that slider's handler applies it.
void ApplyEchoDelay(std::int32_t delayPosition);
void ApplyEchoRepeats(std::int32_t repeatsPosition);
void ApplyEchoVolume(std::int32_t volumePosition);
// All three.
void ApplyEchoSliders(const EchoSliders& sliders);
