// The in-process sound card installed for a waveform-call test, with its helpers: PCM
// formats, ramps, buffers with their headers, and a log of the notices each device's
// callback was given. Shared by the waveaudio_*_test.cpp files, one for each part of the calls.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/waveaudio/capture_source.h"
#include "platform/waveaudio/mmsystem.h"
#include "platform/waveaudio/virtual_driver.h"
#include "platform/waveaudio/wave_driver.h"

namespace wave_card {

using namespace std::chrono_literals;

constexpr UINT kHdr = sizeof(WAVEHDR);
constexpr auto kPatience = 10s;  // bound for waits on something that must happen

inline WAVEFORMATEX Pcm(WORD channels = 2, WORD bits = 16, DWORD rate = 44100) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = bits;
  f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  f.nAvgBytesPerSec = f.nBlockAlign * rate;
  f.cbSize = 0;
  return f;
}

// Interleaved stereo slots where every slot differs from its neighbours.
inline std::vector<std::int16_t> Ramp(std::size_t frames, int start = 1) {
  std::vector<std::int16_t> slots(2 * frames);
  for (std::size_t i = 0; i < frames; ++i) {
    slots[2 * i] = static_cast<std::int16_t>(start + static_cast<int>(i));
    slots[2 * i + 1] = static_cast<std::int16_t>(-start - static_cast<int>(i));
  }
  return slots;
}

// Frames [first, first + count) of a signal that repeats `period` every period.size() slots.
inline std::vector<std::int16_t> Cycle(const std::vector<std::int16_t>& period, std::size_t first,
                                       std::size_t count) {
  std::vector<std::int16_t> out;
  for (std::size_t s = 2 * first; s < 2 * (first + count); ++s) {
    out.push_back(period[s % period.size()]);
  }
  return out;
}

// A buffer and its header, at an address that stays put.
struct Buffer {
  explicit Buffer(std::size_t frames) : data(frames * kFrameBytes) {
    header.lpData = data.data();
    header.dwBufferLength = static_cast<DWORD>(data.size());
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  std::vector<std::int16_t> Slots(std::size_t bytes) const {
    std::vector<std::int16_t> slots(bytes / 2);
    std::memcpy(slots.data(), data.data(), bytes);
    return slots;
  }
  std::vector<std::int16_t> Recorded() const { return Slots(header.dwBytesRecorded); }
  void Fill(const std::vector<std::int16_t>& slots) {
    ASSERT_EQ(slots.size() * 2, data.size());
    std::memcpy(data.data(), slots.data(), data.size());
  }

  std::vector<char> data;
  WAVEHDR header{};
};

struct Notice {
  UINT msg;
  DWORD_PTR param1;
  std::thread::id thread;
  DWORD flags;  // of the header in param1 as the callback saw it, 0 for none
};

// What one device's callback was told. Hooks, set before the device opens, run inside the
// callback; `quiet` turns them off.
class NoticeLog {
 public:
  std::function<void(HWAVEIN, UINT, WAVEHDR*)> onIn;
  std::function<void(HWAVEOUT, UINT, WAVEHDR*)> onOut;
  std::chrono::milliseconds delay{0};  // every delivery takes this long, to widen races
  std::atomic<bool> quiet{false};

  template <typename Handle, typename Hook>
  void Deliver(Handle handle, UINT msg, DWORD_PTR param1, const Hook& hook) {
    if (inside_.fetch_add(1) != 0) overlapped_ = true;
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    auto* header = reinterpret_cast<WAVEHDR*>(param1);
    const bool data = msg == WIM_DATA || msg == WOM_DONE;
    const DWORD flags = data && header ? header->dwFlags : 0;
    if (hook && !quiet) hook(handle, msg, data ? header : nullptr);
    inside_.fetch_sub(1);
    // Notified under the lock: a device closed from its callback has nobody to wait for
    // its last delivery, and the log may go as soon as a waiter sees the notice.
    std::lock_guard lock(mutex_);
    notices_.push_back({msg, param1, std::this_thread::get_id(), flags});
    changed_.notify_all();
  }

  // Waits, up to a bound, until `msg` has come `count` times.
  bool WaitFor(UINT msg, std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] { return CountLocked(msg) >= count; });
  }
  std::size_t Count(UINT msg) {
    std::lock_guard lock(mutex_);
    return CountLocked(msg);
  }
  std::vector<Notice> All() {
    std::lock_guard lock(mutex_);
    return notices_;
  }
  std::vector<WAVEHDR*> Headers(UINT msg) {
    std::vector<WAVEHDR*> headers;
    for (const Notice& n : All()) {
      if (n.msg == msg) headers.push_back(reinterpret_cast<WAVEHDR*>(n.param1));
    }
    return headers;
  }
  std::vector<UINT> Messages() {
    std::vector<UINT> messages;
    for (const Notice& n : All()) messages.push_back(n.msg);
    return messages;
  }
  bool Overlapped() const { return overlapped_; }

 private:
  std::size_t CountLocked(UINT msg) const {
    std::size_t n = 0;
    for (const Notice& notice : notices_) n += notice.msg == msg;
    return n;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Notice> notices_;
  std::atomic<int> inside_{0};
  std::atomic<bool> overlapped_{false};
};

inline void InProc(HWAVEIN h, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto* log = reinterpret_cast<NoticeLog*>(instance);
  log->Deliver(h, msg, param1, log->onIn);
}

inline void OutProc(HWAVEOUT h, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto* log = reinterpret_cast<NoticeLog*>(instance);
  log->Deliver(h, msg, param1, log->onOut);
}

// A card with one capture and one playback device, installed for the test. Buffers and
// logs belong to the fixture, so that a test that stops early still has them while the
// devices it left open are reset and closed.
class WaveCard : public ::testing::Test {
 protected:
  void SetUp() override {
    card.AddCaptureDevice({.name = "Line In"});
    card.AddPlaybackDevice({.name = "Speakers"});
    InstallWaveDriver(&card);
  }

  void TearDown() override {
    card.ClearFaults();
    for (auto* l : {&log, &log2}) l->quiet = true;
    for (HWAVEIN h : ins_) {
      waveInReset(h);
      waveInClose(h);
    }
    for (HWAVEOUT h : outs_) {
      waveOutReset(h);
      waveOutClose(h);
    }
    InstallWaveDriver(nullptr);
  }

  HWAVEIN OpenIn(UINT id = 0, NoticeLog* l = nullptr) {
    const WAVEFORMATEX format = Pcm();
    HWAVEIN h = nullptr;
    EXPECT_EQ(waveInOpen(&h, id, &format, reinterpret_cast<DWORD_PTR>(&InProc),
                         reinterpret_cast<DWORD_PTR>(l ? l : &log), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    if (h) ins_.push_back(h);
    return h;
  }

  HWAVEOUT OpenOut(UINT id = 0, NoticeLog* l = nullptr) {
    const WAVEFORMATEX format = Pcm();
    HWAVEOUT h = nullptr;
    EXPECT_EQ(waveOutOpen(&h, id, &format, reinterpret_cast<DWORD_PTR>(&OutProc),
                          reinterpret_cast<DWORD_PTR>(l ? l : &log), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    if (h) outs_.push_back(h);
    return h;
  }

  Buffer& NewBuffer(std::size_t frames) { return buffers_.emplace_back(frames); }

  // Prepares and queues fresh buffers of the given sizes on a capture device.
  std::vector<Buffer*> AddBuffers(HWAVEIN h, std::initializer_list<std::size_t> frames) {
    std::vector<Buffer*> added;
    for (std::size_t n : frames) {
      Buffer& b = NewBuffer(n);
      EXPECT_EQ(waveInPrepareHeader(h, &b.header, kHdr), MMSYSERR_NOERROR);
      EXPECT_EQ(waveInAddBuffer(h, &b.header, kHdr), MMSYSERR_NOERROR);
      added.push_back(&b);
    }
    return added;
  }

  // Prepares and writes fresh buffers holding consecutive parts of a ramp.
  std::vector<Buffer*> WriteBuffers(HWAVEOUT h, std::initializer_list<std::size_t> frames,
                                    std::vector<std::int16_t>* written) {
    std::vector<Buffer*> added;
    for (std::size_t n : frames) {
      Buffer& b = NewBuffer(n);
      const auto slots = Ramp(n, static_cast<int>(written->size() / 2) + 1);
      b.Fill(slots);
      written->insert(written->end(), slots.begin(), slots.end());
      EXPECT_EQ(waveOutPrepareHeader(h, &b.header, kHdr), MMSYSERR_NOERROR);
      EXPECT_EQ(waveOutWrite(h, &b.header, kHdr), MMSYSERR_NOERROR);
      added.push_back(&b);
    }
    return added;
  }

  NoticeLog log;
  NoticeLog log2;
  VirtualDriver card;  // after the logs: the card fails what is still open when it goes

 private:
  std::deque<Buffer> buffers_;
  std::vector<HWAVEIN> ins_;
  std::vector<HWAVEOUT> outs_;
};

class WaveDevices : public WaveCard {};
class WaveOpen : public WaveCard {};
class WaveNotices : public WaveCard {};
class WaveIn : public WaveCard {};
class WaveOut : public WaveCard {};
class WaveHandles : public WaveCard {};
class WaveHeaders : public WaveCard {};
class WaveFaults : public WaveCard {};
class WaveCallbacks : public WaveCard {};
class VirtualClock : public WaveCard {};

}  // namespace wave_card
