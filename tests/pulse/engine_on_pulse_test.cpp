// The whole engine on a real sound server: a click played into one null sink is captured
// from its monitor, echoed, played into the other sink and recorded from that monitor.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

#include "audio/buffer_rules.h"
#include "audio/engine_state.h"
#include "echo/processor_power.h"
#include "platform/waveaudio/pulse_driver.h"
#include "tests/support/engine_rig.h"
#include "tests/support/pulse_test_server.h"

namespace {

using namespace std::chrono_literals;
constexpr UINT kHeader = sizeof(WAVEHDR);

WAVEFORMATEX Format(DWORD rate) {
  return {WAVE_FORMAT_PCM, 2, rate, 4 * rate, 4, 16, 0};
}

// Records one capture device into memory for as long as it lives.
class Recorder {
 public:
  Recorder(UINT device, DWORD rate) : memory_(4, std::vector<char>(4 * (rate / 20))) {
    const WAVEFORMATEX format = Format(rate);
    EXPECT_EQ(waveInOpen(&handle_, device, &format, reinterpret_cast<DWORD_PTR>(&Done),
                         reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    for (std::size_t i = 0; i < memory_.size(); ++i) {
      headers_[i].lpData = memory_[i].data();
      headers_[i].dwBufferLength = static_cast<DWORD>(memory_[i].size());
      waveInPrepareHeader(handle_, &headers_[i], kHeader);
      waveInAddBuffer(handle_, &headers_[i], kHeader);
    }
  }
  void Start() { waveInStart(handle_); }
  // Stops and returns the recording as interleaved slots.
  std::vector<std::int16_t> Stop() {
    keep_ = false;
    waveInReset(handle_);
    for (auto& h : headers_) waveInUnprepareHeader(handle_, &h, kHeader);
    waveInClose(handle_);
    std::lock_guard lock(mutex_);
    std::vector<std::int16_t> slots(bytes_.size() / 2);
    std::memcpy(slots.data(), bytes_.data(), slots.size() * 2);
    return slots;
  }

 private:
  static void Done(HWAVEIN hwi, UINT msg, DWORD_PTR self, DWORD_PTR param1, DWORD_PTR) {
    if (msg != WIM_DATA) return;
    auto* recorder = reinterpret_cast<Recorder*>(self);
    auto* header = reinterpret_cast<WAVEHDR*>(param1);
    {
      std::lock_guard lock(recorder->mutex_);
      recorder->bytes_.insert(recorder->bytes_.end(), header->lpData,
                              header->lpData + header->dwBytesRecorded);
    }
    if (recorder->keep_) waveInAddBuffer(hwi, header, kHeader);
  }

  HWAVEIN handle_ = nullptr;
  std::vector<std::vector<char>> memory_;
  WAVEHDR headers_[4] = {};
  std::atomic<bool> keep_{true};
  std::mutex mutex_;
  std::vector<char> bytes_;
};

// Plays one buffer into a playback device.
class Player {
 public:
  Player(UINT device, DWORD rate, std::vector<std::int16_t> slots) : slots_(std::move(slots)) {
    const WAVEFORMATEX format = Format(rate);
    EXPECT_EQ(waveOutOpen(&handle_, device, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    header_.lpData = reinterpret_cast<char*>(slots_.data());
    header_.dwBufferLength = static_cast<DWORD>(slots_.size() * 2);
    waveOutPrepareHeader(handle_, &header_, kHeader);
    waveOutWrite(handle_, &header_, kHeader);
  }
  ~Player() {
    waveOutReset(handle_);
    waveOutUnprepareHeader(handle_, &header_, kHeader);
    waveOutClose(handle_);
  }

 private:
  std::vector<std::int16_t> slots_;
  HWAVEOUT handle_ = nullptr;
  WAVEHDR header_{};
};

struct Peak {
  std::size_t frame;
  int value;
};

// Local maxima of the left channel above `threshold`, at least `gap` frames apart.
std::vector<Peak> Peaks(const std::vector<std::int16_t>& slots, int threshold, std::size_t gap) {
  std::vector<Peak> peaks;
  for (std::size_t f = 0; f < slots.size() / 2; ++f) {
    const int v = slots[2 * f];
    if (v < threshold) continue;
    if (!peaks.empty() && f - peaks.back().frame < gap) {
      if (v > peaks.back().value) peaks.back() = {f, v};
    } else {
      peaks.push_back({f, v});
    }
  }
  return peaks;
}

struct RateAndMultiplier {
  std::int32_t rate;
  std::int32_t multiplier;
  // As a failure names it: "44100 Hz, multiplier 2".
  friend void PrintTo(const RateAndMultiplier& p, std::ostream* os) {
    *os << p.rate << " Hz, multiplier " << p.multiplier;
  }
};

class EngineOnPulse : public ::testing::TestWithParam<RateAndMultiplier> {
 protected:
  PulseTestServer server;
};

}  // namespace

TEST_P(EngineOnPulse, EchoOfAClickComesOutFourPeriodsLaterWithItsTaps) {
  const auto [rate, multiplier] = GetParam();
  // The server latency as the program leaves it: following the buffer period.
  PulseDriver driver(PulseDriver::Options{server.Address(), std::nullopt, 2000ms});
  EngineRig rig(rate, multiplier);
  InstallWaveDriver(&driver);
  rig.panel.captureDevice = 0;   // the monitor of "echora_in"
  rig.panel.playbackDevice = 1;  // "echora_out"
  const std::int32_t period = rig.PeriodFrames();
  const std::int32_t delay = rate / 20;  // 50 ms
  EchoDelay = 2 * delay;
  EchoStep = 33;
  EchoVolume = 100;

  // The click comes after the first two periods, which the first power-on treats apart.
  std::vector<std::int16_t> click(2 * static_cast<std::size_t>(period) * 3, 0);
  const std::size_t clickFrame = period * 2 + period / 2;
  click[2 * clickFrame] = click[2 * clickFrame + 1] = 20000;

  Recorder input(0, static_cast<DWORD>(rate));
  Recorder output(1, static_cast<DWORD>(rate));
  input.Start();
  output.Start();
  rig.PowerOn();
  std::optional<Player> player;
  player.emplace(0, static_cast<DWORD>(rate), click);
  // Two periods before the click, half a period to it, four to its echo, and some room.
  const auto periodTime = std::chrono::microseconds(1'000'000LL * period / rate);
  const auto end = std::chrono::steady_clock::now() + periodTime * 7 + 1s;
  while (std::chrono::steady_clock::now() < end) rig.gui.WaitAndPump(10ms);
  rig.PowerOff();
  player.reset();
  const auto heard = input.Stop();
  const auto played = output.Stop();
  InstallWaveDriver(nullptr);
  EXPECT_TRUE(rig.panel.Memo().empty());
  EXPECT_TRUE(rig.panel.Messages().empty());

  const auto in = Peaks(heard, 5000, delay / 2);
  const auto out = Peaks(played, 3000, delay / 2);
  ASSERT_EQ(in.size(), 1u);
  ASSERT_EQ(out.size(), 3u) << "output peaks";
  // The taps, loudest first: the latest slot has the largest weight.
  EXPECT_NEAR(static_cast<double>(out[1].frame - out[0].frame), delay, 2);
  EXPECT_NEAR(static_cast<double>(out[2].frame - out[1].frame), delay, 2);
  if (rate == 44100) {
    // No resampling on the server's path: the weights are exact.
    EXPECT_EQ(out[0].value, 20000 * 99 / 100);
    EXPECT_EQ(out[1].value, 20000 * 66 / 100);
    EXPECT_EQ(out[2].value, 20000 * 33 / 100);
  } else {
    EXPECT_NEAR(out[1].value / double(out[0].value), 66.0 / 99, 0.1);
    EXPECT_NEAR(out[2].value / double(out[0].value), 33.0 / 99, 0.1);
  }
  // The loudest tap is the click itself, moved two delays early by the pass's read-ahead.
  const double latency =
      (static_cast<double>(out[0].frame) + 2.0 * delay - static_cast<double>(in[0].frame)) / rate;
  const double fourPeriods = 4.0 * period / rate;
  RecordProperty("latency_ms", std::to_string(std::lround(latency * 1000)));
  std::printf("rate %d: input to output %.1f ms, four periods %.1f ms\n", rate, latency * 1000,
              fourPeriods * 1000);
  // The server's share: playback starts that much after capture, and the null sink adds a
  // little of its own.
  const double serverShare = std::chrono::duration<double>(PulseDriver::PlaybackStartDelay(
                                                               PulseDriver::LatencyFor(periodTime)))
                                 .count();
  EXPECT_GE(latency, fourPeriods - 0.005);
  EXPECT_LE(latency, fourPeriods + serverShare + 0.1);
}

INSTANTIATE_TEST_SUITE_P(Rates, EngineOnPulse,
                         ::testing::Values(RateAndMultiplier{44100, 2}, RateAndMultiplier{11025, 2},
                                           RateAndMultiplier{33075, 2},
                                           RateAndMultiplier{44100, 8}),
                         [](const auto& info) {
                           return std::to_string(info.param.rate) + "HzMultiplier" +
                                  std::to_string(info.param.multiplier);
                         });
