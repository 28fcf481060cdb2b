// The file renderer: runs the processor's own engine (pool, both streams, echo thread) on
// the virtual sound card, with a WAV file as what the capture device hears and the playback
// device's stream written to a WAV file.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "echo/echo_rules.h"

struct RenderOptions {
  std::string input;
  std::string output;
  std::optional<std::string> preset;
  std::optional<std::int32_t> delayMs;
  std::optional<std::int32_t> repeats;  // 0..10
  std::optional<std::int32_t> volume;   // percent, 1..5000
  std::optional<std::int32_t> rate;     // one of the selector's rates; default: the file's
  std::int32_t multiplier = 8;          // 2..99
  bool echo = true;
  bool deviceStream = false;
};

// The echo sliders a render runs with: the start-up preset or the named one, then the
// repeats, the delay (held within what the buffer allows) and the volume given. Writes a
// note to `notes` for every value it had to change. Returns nothing for an unknown preset.
std::optional<EchoSliders> ResolveSliders(const RenderOptions& options, std::int32_t bufferSize,
                                          std::int32_t sampleRate, std::ostream& notes);

// Renders options.input into options.output. Returns the exit status: 0 done; 2 for input
// the renderer cannot use; 1 when the output cannot be written or the engine reported a
// failure. Every failure is one line on `err`, and leaves no output file behind.
int Render(const RenderOptions& options, std::ostream& err);
