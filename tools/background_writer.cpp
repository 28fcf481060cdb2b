#include "tools/background_writer.h"

BackgroundWriter::BackgroundWriter(SoundFileWriter& writer)
    : writer_(writer), thread_([this] { Run(); }) {}

BackgroundWriter::~BackgroundWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BackgroundWriter::Append(std::vector<std::int16_t>& slots, std::size_t from,
                              std::size_t frames) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !hasPending_ || !error_.empty(); });
  if (!error_.empty()) throw SoundFileError(error_);
  std::swap(pending_, slots);
  from_ = from;
  frames_ = frames;
  hasPending_ = true;
  lock.unlock();
  changed_.notify_all();
}

void BackgroundWriter::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !hasPending_ || !error_.empty(); });
  if (!error_.empty()) throw SoundFileError(error_);
}

void BackgroundWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return hasPending_ || stopping_; });
    if (!hasPending_) return;
    lock.unlock();
    std::string error;
    try {
      writer_.append(pending_.data() + 2 * from_, frames_);
    } catch (const SoundFileError& e) {
      error = e.what();
    }
    lock.lock();
    error_ = error;
    hasPending_ = false;
    changed_.notify_all();
    if (!error_.empty()) return;
  }
}
