#include "platform/waveaudio/capture_source.h"

#include <cmath>
#include <numbers>

namespace {

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

std::shared_ptr<CaptureSource> MakeSine(double hertz, std::int16_t amplitude) {
  return std::make_shared<Sine>(hertz, amplitude);
}
std::shared_ptr<CaptureSource> MakeTestVector(std::vector<std::int16_t> slots, bool loop) {
  return std::make_shared<TestVector>(std::move(slots), loop);
}
