// What `render` reads: a sound file by name, or a stream read as it comes: a FIFO, or
// standard input named "-". Waiting for a stream's first bytes is said, never silent.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "platform/waveaudio/sound_file.h"

// Opens the input. When a FIFO or standard input has nothing to read after a moment (no
// program writes to it yet), says so on `notes` and then waits. Throws SoundFileError for
// a terminal as standard input, and whatever SoundFileReader refuses.
std::unique_ptr<SoundFileReader> OpenInput(const std::string& path, std::ostream& notes);
