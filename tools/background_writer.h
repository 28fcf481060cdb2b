// The render's output written on a thread of its own, so that the file system's time
// overlaps the engine's next period instead of adding to it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/waveaudio/sound_file.h"

class BackgroundWriter {
 public:
  explicit BackgroundWriter(SoundFileWriter& writer);
  // Waits for what was handed over to be written.
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Hands over `frames` frames of `slots` from frame `from`, taking the vector's storage and
  // leaving it another to fill. Waits while the block before is still being written. Throws
  // SoundFileError once a write has failed.
  void Append(std::vector<std::int16_t>& slots, std::size_t from, std::size_t frames);
  // Waits for everything handed over to be written. Throws SoundFileError if a write failed.
  void Drain();

 private:
  void Run();

  SoundFileWriter& writer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::int16_t> pending_;  // a block to write; its storage comes back empty
  std::size_t from_ = 0;
  std::size_t frames_ = 0;
  bool hasPending_ = false;
  bool stopping_ = false;
  std::string error_;
  std::thread thread_;
};
