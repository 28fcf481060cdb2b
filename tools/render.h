// The file renderer: runs the processor's own engine (pool, both streams, echo thread) on
// the virtual sound card, with a sound file as what the capture device hears and the
// playback device's stream written to a WAV or FLAC file.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "tools/engine_options.h"

struct RenderOptions {
  std::string input;     // a file, a FIFO, or "-" for standard input
  std::string output;    // a file, a device, a FIFO, or "-" for standard output
  EngineOptions engine;  // the rate defaults to the file's
  bool deviceStream = false;
  bool progress = false;  // draw a progress bar on `err`: set when it is a terminal
};

// Renders options.input into options.output. Returns the exit status: 0 done; 2 for input
// the renderer cannot use; 1 when the output cannot be written or the engine reported a
// failure. Every failure is one line on `err`, and leaves no output file behind; so does
// SIGINT, SIGTERM or SIGHUP, which then ends the program.
int Render(const RenderOptions& options, std::ostream& err);
