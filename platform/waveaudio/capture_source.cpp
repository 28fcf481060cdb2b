#include "platform/waveaudio/capture_source.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

class Silence final : public CaptureSource {
 public:
  void Read(std::int16_t* slots, std::size_t frames, std::int32_t) override {
    std::fill_n(slots, 2 * frames, std::int16_t{0});
  }
};

class Sine final : public CaptureSource {
 public:
  Sine(double hertz, std::int16_t amplitude) : hertz_(hertz), amplitude_(amplitude) {}
  void Read(std::int16_t* slots, std::size_t frames, std::int32_t rate) override {
    for (std::size_t j = 0; j < frames; ++j, ++frame_) {
      const double phase = 2 * std::numbers::pi * hertz_ * static_cast<double>(frame_) / rate;
      const auto v = static_cast<std::int16_t>(std::lround(amplitude_ * std::sin(phase)));
      slots[2 * j] = slots[2 * j + 1] = v;
    }
  }

 private:
  double hertz_;
  double amplitude_;
  std::uint64_t frame_ = 0;
};

class ImpulseTrain final : public CaptureSource {
 public:
  ImpulseTrain(std::size_t period, std::int16_t amplitude)
      : period_(std::max<std::size_t>(period, 1)), amplitude_(amplitude) {}
  void Read(std::int16_t* slots, std::size_t frames, std::int32_t) override {
    for (std::size_t j = 0; j < frames; ++j, ++frame_) {
      const std::int16_t v = frame_ % period_ == 0 ? amplitude_ : 0;
      slots[2 * j] = slots[2 * j + 1] = v;
    }
  }

 private:
  std::size_t period_;
  std::int16_t amplitude_;
  std::uint64_t frame_ = 0;
};

class TestVector final : public CaptureSource {
 public:
  TestVector(std::vector<std::int16_t> slots, bool loop) : slots_(std::move(slots)), loop_(loop) {
    if (slots_.size() % 2) slots_.push_back(0);
  }
  void Read(std::int16_t* out, std::size_t frames, std::int32_t) override {
    for (std::size_t k = 0; k < 2 * frames; ++k) {
      if (loop_ && !slots_.empty() && next_ == slots_.size()) next_ = 0;
      out[k] = next_ < slots_.size() ? slots_[next_++] : 0;
    }
  }

 private:
  std::vector<std::int16_t> slots_;
  bool loop_;
  std::size_t next_ = 0;
};

}  // namespace

std::shared_ptr<CaptureSource> MakeSilence() {
  return std::make_shared<Silence>();
}
std::shared_ptr<CaptureSource> MakeSine(double hertz, std::int16_t amplitude) {
  return std::make_shared<Sine>(hertz, amplitude);
}
std::shared_ptr<CaptureSource> MakeImpulseTrain(std::size_t periodFrames, std::int16_t amplitude) {
  return std::make_shared<ImpulseTrain>(periodFrames, amplitude);
}
std::shared_ptr<CaptureSource> MakeTestVector(std::vector<std::int16_t> slots, bool loop) {
  return std::make_shared<TestVector>(std::move(slots), loop);
}
