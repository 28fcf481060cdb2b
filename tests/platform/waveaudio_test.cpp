// The waveform calls served by the in-process sound card: devices and their capabilities,
// opening, notices and their thread, capture and playback through queued headers, refusals
// of bad arguments, injected faults, devices that come and go, waveform calls made from the
// callbacks, and the stepped clock.
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

namespace {

using namespace std::chrono_literals;

constexpr UINT kHdr = sizeof(WAVEHDR);
constexpr std::size_t kFrameBytes = 4;
constexpr auto kPatience = 10s;  // bound for waits on something that must happen

WAVEFORMATEX Pcm(WORD channels = 2, WORD bits = 16, DWORD rate = 44100) {
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
std::vector<std::int16_t> Ramp(std::size_t frames, int start = 1) {
  std::vector<std::int16_t> slots(2 * frames);
  for (std::size_t i = 0; i < frames; ++i) {
    slots[2 * i] = static_cast<std::int16_t>(start + static_cast<int>(i));
    slots[2 * i + 1] = static_cast<std::int16_t>(-start - static_cast<int>(i));
  }
  return slots;
}

// Frames [first, first + count) of a signal that repeats `period` every period.size() slots.
std::vector<std::int16_t> Cycle(const std::vector<std::int16_t>& period, std::size_t first,
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

void InProc(HWAVEIN h, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto* log = reinterpret_cast<NoticeLog*>(instance);
  log->Deliver(h, msg, param1, log->onIn);
}

void OutProc(HWAVEOUT h, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
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

// ---- Devices and capabilities ----

// A sound server's names are UTF-8: a cut inside a character would show as garbage.
TEST_F(WaveDevices, ALongNameIsNeverCutInsideACharacter) {
  const std::string name = "Haut-parleurs int\u00e9gr\u00e9s \u00e9\u00e9\u00e9 analogiques";
  ASSERT_GT(name.size(), 31u);
  ASSERT_EQ(static_cast<unsigned char>(name[28]) & 0xC0, 0x80);  // 28 is inside a character
  const UINT id = card.AddCaptureDevice({.name = name});
  WAVEINCAPSA in{};
  ASSERT_EQ(waveInGetDevCapsA(id, &in, sizeof in), MMSYSERR_NOERROR);
  EXPECT_STREQ(in.szPname, (name.substr(0, 27) + "\u2026").c_str());
}

TEST_F(WaveDevices, CapsRecordsAreFilledWholeWithTheNameCutTo31BytesEndingInAnEllipsis) {
  const std::string longName = "A Sound Card Whose Name Runs On Past Thirty-One Characters";
  card.AddCaptureDevice({.name = longName,
                         .mid = 0x1234,
                         .pid = 0x5678,
                         .driverVersion = 0x0203,
                         .formats = WAVE_FORMAT_4S16,
                         .channels = 2});
  card.AddPlaybackDevice({.name = longName,
                          .mid = 0x4321,
                          .pid = 0x8765,
                          .driverVersion = 0x0405,
                          .formats = WAVE_FORMAT_2S16,
                          .channels = 2,
                          .support = WAVECAPS_VOLUME});
  ASSERT_EQ(waveInGetNumDevs(), 2u);
  ASSERT_EQ(waveOutGetNumDevs(), 2u);

  WAVEINCAPSA in;
  std::memset(&in, 0xCC, sizeof in);
  ASSERT_EQ(waveInGetDevCapsA(1, &in, sizeof in), MMSYSERR_NOERROR);
  EXPECT_EQ(in.wMid, 0x1234);
  EXPECT_EQ(in.wPid, 0x5678);
  EXPECT_EQ(in.vDriverVersion, 0x0203u);
  EXPECT_EQ(std::string(in.szPname, 31), longName.substr(0, 28) + "\u2026");
  EXPECT_EQ(in.szPname[31], '\0');
  EXPECT_EQ(in.dwFormats, WAVE_FORMAT_4S16);
  EXPECT_EQ(in.wChannels, 2);
  EXPECT_EQ(in.wReserved1, 0);

  WAVEOUTCAPSA out;
  std::memset(&out, 0xCC, sizeof out);
  ASSERT_EQ(waveOutGetDevCapsA(1, &out, sizeof out), MMSYSERR_NOERROR);
  EXPECT_EQ(out.wMid, 0x4321);
  EXPECT_EQ(out.wPid, 0x8765);
  EXPECT_EQ(out.vDriverVersion, 0x0405u);
  EXPECT_EQ(std::string(out.szPname, 31), longName.substr(0, 28) + "\u2026");
  EXPECT_EQ(out.szPname[31], '\0');
  EXPECT_EQ(out.dwFormats, WAVE_FORMAT_2S16);
  EXPECT_EQ(out.wChannels, 2);
  EXPECT_EQ(out.dwSupport, WAVECAPS_VOLUME);

  // A short name is NUL-terminated and padded, with nothing left of the 0xCC fill.
  std::memset(&in, 0xCC, sizeof in);
  ASSERT_EQ(waveInGetDevCapsA(0, &in, sizeof in), MMSYSERR_NOERROR);
  EXPECT_STREQ(in.szPname, "Line In");
  for (std::size_t i = std::strlen("Line In"); i < MAXPNAMELEN; ++i) EXPECT_EQ(in.szPname[i], 0);
  std::memset(&out, 0xCC, sizeof out);
  ASSERT_EQ(waveOutGetDevCapsA(0, &out, sizeof out), MMSYSERR_NOERROR);
  EXPECT_STREQ(out.szPname, "Speakers");
}

TEST_F(WaveDevices, AShorterCapsRecordGetsOnlyThatManyBytes) {
  card.AddCaptureDevice({.name = "Short", .mid = 0x1122, .pid = 0x3344, .driverVersion = 7});
  WAVEINCAPSA full{};
  ASSERT_EQ(waveInGetDevCapsA(1, &full, sizeof full), MMSYSERR_NOERROR);

  for (UINT size : {2u, 8u, 12u, 47u}) {
    unsigned char bytes[sizeof(WAVEINCAPSA) + 8];
    std::memset(bytes, 0xCC, sizeof bytes);
    ASSERT_EQ(waveInGetDevCapsA(1, reinterpret_cast<WAVEINCAPSA*>(bytes), size), MMSYSERR_NOERROR);
    EXPECT_EQ(std::memcmp(bytes, &full, size), 0) << "size " << size;
    for (std::size_t i = size; i < sizeof bytes; ++i) {
      ASSERT_EQ(bytes[i], 0xCC) << "byte " << i << " written for size " << size;
    }
  }

  WAVEOUTCAPSA outFull{};
  ASSERT_EQ(waveOutGetDevCapsA(0, &outFull, sizeof outFull), MMSYSERR_NOERROR);
  unsigned char bytes[sizeof(WAVEOUTCAPSA) + 8];
  std::memset(bytes, 0xCC, sizeof bytes);
  ASSERT_EQ(waveOutGetDevCapsA(0, reinterpret_cast<WAVEOUTCAPSA*>(bytes), 48), MMSYSERR_NOERROR);
  EXPECT_EQ(std::memcmp(bytes, &outFull, 48), 0);
  for (std::size_t i = 48; i < sizeof bytes; ++i) EXPECT_EQ(bytes[i], 0xCC) << "byte " << i;
}

TEST_F(WaveDevices, CapsRefusalsLeaveTheRecordAlone) {
  card.AddCaptureDevice({.name = "Broken", .capsResult = MMSYSERR_NOTENABLED});
  card.AddPlaybackDevice({.name = "Broken", .capsResult = MMSYSERR_NOMEM});

  WAVEINCAPSA in;
  WAVEOUTCAPSA out;
  std::memset(&in, 0xCC, sizeof in);
  std::memset(&out, 0xCC, sizeof out);
  EXPECT_EQ(waveInGetDevCapsA(2, &in, sizeof in), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveOutGetDevCapsA(2, &out, sizeof out), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveInGetDevCapsA(1, &in, sizeof in), MMSYSERR_NOTENABLED);
  EXPECT_EQ(waveOutGetDevCapsA(1, &out, sizeof out), MMSYSERR_NOMEM);
  EXPECT_EQ(waveInGetDevCapsA(0, nullptr, sizeof in), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutGetDevCapsA(0, nullptr, sizeof out), MMSYSERR_INVALPARAM);

  const auto untouched = [](const void* record, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(record);
    for (std::size_t i = 0; i < size; ++i) {
      if (bytes[i] != 0xCC) return false;
    }
    return true;
  };
  EXPECT_TRUE(untouched(&in, sizeof in));
  EXPECT_TRUE(untouched(&out, sizeof out));
}

TEST_F(WaveDevices, WithNoDriverThereAreNoDevicesAndOpensFail) {
  InstallWaveDriver(nullptr);
  EXPECT_EQ(waveInGetNumDevs(), 0u);
  EXPECT_EQ(waveOutGetNumDevs(), 0u);
  WAVEINCAPSA in{};
  WAVEOUTCAPSA out{};
  EXPECT_NE(waveInGetDevCapsA(0, &in, sizeof in), MMSYSERR_NOERROR);
  EXPECT_NE(waveOutGetDevCapsA(0, &out, sizeof out), MMSYSERR_NOERROR);

  const WAVEFORMATEX format = Pcm();
  HWAVEIN hin = nullptr;
  HWAVEOUT hout = nullptr;
  EXPECT_EQ(waveInOpen(&hin, 0, &format, reinterpret_cast<DWORD_PTR>(&InProc),
                       reinterpret_cast<DWORD_PTR>(&log), CALLBACK_FUNCTION),
            MMSYSERR_NODRIVER);
  EXPECT_EQ(waveOutOpen(&hout, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
  EXPECT_EQ(hin, nullptr);
  EXPECT_EQ(hout, nullptr);
  EXPECT_TRUE(log.All().empty());
  EXPECT_EQ(card.CallCount(WaveCall::waveInOpen), 0) << "the uninstalled card was asked";

  // Installed again, the same card serves again.
  InstallWaveDriver(&card);
  EXPECT_EQ(waveInGetNumDevs(), 1u);
  ASSERT_NE(OpenIn(), nullptr);
}

// ---- Opening ----

TEST_F(WaveOpen, FormatsTheCardCannotTakeAreRefusedAndOpenNothing) {
  auto mono = Pcm(1, 16);
  auto eightBit = Pcm(2, 8);
  auto notPcm = Pcm();
  notPcm.wFormatTag = 3;  // IEEE float
  auto badAlign = Pcm();
  badAlign.nBlockAlign = 2;
  auto badRate = Pcm();
  badRate.nAvgBytesPerSec += 4;
  auto noBits = Pcm();
  noBits.wBitsPerSample = 12;

  for (const WAVEFORMATEX* format : {&mono, &eightBit, &notPcm, &badAlign, &badRate, &noBits}) {
    HWAVEIN hin = nullptr;
    HWAVEOUT hout = nullptr;
    EXPECT_EQ(waveInOpen(&hin, 0, format, reinterpret_cast<DWORD_PTR>(&InProc),
                         reinterpret_cast<DWORD_PTR>(&log), CALLBACK_FUNCTION),
              WAVERR_BADFORMAT)
        << "tag " << format->wFormatTag << " channels " << format->nChannels << " bits "
        << format->wBitsPerSample;
    EXPECT_EQ(waveOutOpen(&hout, 0, format, reinterpret_cast<DWORD_PTR>(&OutProc),
                          reinterpret_cast<DWORD_PTR>(&log), CALLBACK_FUNCTION),
              WAVERR_BADFORMAT);
    EXPECT_EQ(hin, nullptr);
    EXPECT_EQ(hout, nullptr);
  }
  EXPECT_TRUE(log.All().empty());
  // Nothing was left allocated.
  EXPECT_NE(OpenIn(), nullptr);
  EXPECT_NE(OpenOut(), nullptr);
}

TEST_F(WaveOpen, BadArgumentsAreRefusedWithTheirCodes) {
  const WAVEFORMATEX format = Pcm();
  const auto proc = reinterpret_cast<DWORD_PTR>(&InProc);
  const auto instance = reinterpret_cast<DWORD_PTR>(&log);
  HWAVEIN h = nullptr;
  EXPECT_EQ(waveInOpen(nullptr, 0, &format, proc, instance, CALLBACK_FUNCTION),
            MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutOpen(nullptr, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInOpen(&h, 0, nullptr, proc, instance, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInOpen(&h, 0, &format, 0, instance, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInOpen(&h, 1, &format, proc, instance, CALLBACK_FUNCTION), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveOutOpen(reinterpret_cast<HWAVEOUT*>(&h), 1, &format, 0, 0, CALLBACK_NULL),
            MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveInOpen(&h, 0, &format, proc, instance, CALLBACK_FUNCTION | 0x0100),
            MMSYSERR_INVALFLAG);
  EXPECT_EQ(h, nullptr);
  EXPECT_TRUE(log.All().empty());
  EXPECT_NE(OpenIn(), nullptr) << "a refused open left the device allocated";
}

TEST_F(WaveOpen, ADeviceOpensOnceAtATime) {
  const WAVEFORMATEX format = Pcm();
  HWAVEIN in = OpenIn();
  HWAVEOUT out = OpenOut();
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  HWAVEIN in2 = nullptr;
  HWAVEOUT out2 = nullptr;
  EXPECT_EQ(waveInOpen(&in2, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(waveOutOpen(&out2, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(in2, nullptr);
  EXPECT_EQ(out2, nullptr);

  // Closed, it opens again, under a new handle.
  ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInOpen(&in2, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_NE(in2, in);
  EXPECT_EQ(waveInClose(in2), MMSYSERR_NOERROR);

  // A device that refuses to open says why, and gives no handle.
  card.AddCaptureDevice({.name = "Busy", .openResult = MMSYSERR_NOMEM});
  in2 = nullptr;
  EXPECT_EQ(waveInOpen(&in2, 1, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOMEM);
  EXPECT_EQ(in2, nullptr);
}

TEST_F(WaveOpen, HalfDuplexPlaybackIsRefusedWhileTheCaptureDeviceOfItsNumberIsOpen) {
  card.AddCaptureDevice({.name = "Half In"});
  card.AddPlaybackDevice({.name = "Half Out", .halfDuplex = true});
  const WAVEFORMATEX format = Pcm();

  HWAVEIN in0 = OpenIn(0);
  HWAVEOUT out = nullptr;
  // Capture device 0 is open, but playback device 1 pairs with capture device 1.
  ASSERT_EQ(waveOutOpen(&out, 1, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);

  HWAVEIN in1 = OpenIn(1);
  out = nullptr;
  EXPECT_EQ(waveOutOpen(&out, 1, &format, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(out, nullptr);
  // The full-duplex device 0 plays while its capture device records.
  EXPECT_NE(OpenOut(0), nullptr);

  ASSERT_EQ(waveInClose(in1), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutOpen(&out, 1, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(in0), MMSYSERR_NOERROR);
}

TEST_F(WaveOpen, AFormatQueryOpensNothing) {
  const WAVEFORMATEX format = Pcm();
  const auto sentinel = reinterpret_cast<HWAVEIN>(0x1);
  HWAVEIN h = sentinel;
  EXPECT_EQ(waveInOpen(&h, 0, &format, reinterpret_cast<DWORD_PTR>(&InProc),
                       reinterpret_cast<DWORD_PTR>(&log), CALLBACK_FUNCTION | WAVE_FORMAT_QUERY),
            MMSYSERR_NOERROR);
  EXPECT_EQ(h, sentinel);
  EXPECT_EQ(waveInOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutOpen(nullptr, 0, &format, reinterpret_cast<DWORD_PTR>(&OutProc),
                        reinterpret_cast<DWORD_PTR>(&log), CALLBACK_FUNCTION | WAVE_FORMAT_QUERY),
            MMSYSERR_NOERROR);
  const auto mono = Pcm(1);
  EXPECT_EQ(waveOutOpen(nullptr, 0, &mono, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  EXPECT_EQ(waveInOpen(nullptr, 5, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_BADDEVICEID);

  // No notice, and the devices are free.
  EXPECT_TRUE(log.All().empty());
  EXPECT_NE(OpenIn(), nullptr);
  EXPECT_NE(OpenOut(), nullptr);
  // A query about an open device says it is taken.
  EXPECT_EQ(waveInOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_ALLOCATED);
}

// ---- Notices ----

TEST_F(WaveNotices, CaptureNoticesComeOnOneServiceThreadOneAtATimeInQueueOrder) {
  card.SetCaptureSource(0, MakeTestVector(Ramp(1000)));
  log.delay = 2ms;
  HWAVEIN h = OpenIn();
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(log.WaitFor(WIM_OPEN, 1));

  // Queued in an order other than their addresses.
  Buffer& a = NewBuffer(32);
  Buffer& b = NewBuffer(32);
  Buffer& c = NewBuffer(32);
  for (Buffer* x : {&b, &c, &a}) {
    ASSERT_EQ(waveInPrepareHeader(h, &x->header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(h, &x->header, kHdr), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  card.Step(96);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  // WIM_CLOSE has been delivered by the time the close returns.

  const auto notices = log.All();
  EXPECT_EQ(log.Messages(), (std::vector<UINT>{WIM_OPEN, WIM_DATA, WIM_DATA, WIM_DATA, WIM_CLOSE}));
  EXPECT_EQ(log.Headers(WIM_DATA), (std::vector<WAVEHDR*>{&b.header, &c.header, &a.header}));
  ASSERT_FALSE(notices.empty());
  for (const Notice& n : notices) {
    EXPECT_NE(n.thread, std::this_thread::get_id());
    EXPECT_EQ(n.thread, notices.front().thread);
    if (n.msg == WIM_DATA) {
      EXPECT_TRUE(n.flags & WHDR_DONE) << "the header came back before it was marked done";
      EXPECT_FALSE(n.flags & WHDR_INQUEUE);
      EXPECT_TRUE(n.flags & WHDR_PREPARED);
    }
  }
  EXPECT_FALSE(log.Overlapped());
}

TEST_F(WaveNotices, PlaybackNoticesComeOnOneServiceThreadOneAtATimeInQueueOrder) {
  log.delay = 2ms;
  HWAVEOUT h = OpenOut();
  ASSERT_NE(h, nullptr);
  std::vector<std::int16_t> written;
  const auto buffers = WriteBuffers(h, {16, 48, 8, 24}, &written);
  card.Step(96);
  ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);

  EXPECT_EQ(log.Messages(),
            (std::vector<UINT>{WOM_OPEN, WOM_DONE, WOM_DONE, WOM_DONE, WOM_DONE, WOM_CLOSE}));
  std::vector<WAVEHDR*> expected;
  for (Buffer* b : buffers) expected.push_back(&b->header);
  EXPECT_EQ(log.Headers(WOM_DONE), expected);
  const auto notices = log.All();
  for (const Notice& n : notices) {
    EXPECT_NE(n.thread, std::this_thread::get_id());
    EXPECT_EQ(n.thread, notices.front().thread);
    if (n.msg == WOM_DONE) {
      EXPECT_EQ(n.flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    }
  }
  EXPECT_FALSE(log.Overlapped());
}

// ---- Capture ----

TEST_F(WaveIn, CaptureFillsHeadersInOrderAcrossStepsThatDoNotDivideThem) {
  const auto signal = Ramp(1000);
  card.SetCaptureSource(0, MakeTestVector(signal));
  HWAVEIN h = OpenIn();
  ASSERT_NE(h, nullptr);
  const auto buffers = AddBuffers(h, {100, 100, 60});
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);

  std::size_t frames = 0;
  while (frames < 300) {
    card.Step(37);
    frames += 37;
    const std::size_t full = (frames >= 100) + (frames >= 200) + (frames >= 260);
    ASSERT_EQ(log.Count(WIM_DATA), full) << "after " << frames << " frames";
  }

  std::size_t offset = 0;
  for (Buffer* b : buffers) {
    EXPECT_EQ(b->header.dwBytesRecorded, b->header.dwBufferLength);
    EXPECT_EQ(b->header.dwFlags, WHDR_PREPARED | WHDR_DONE);
    const std::size_t slots = b->header.dwBufferLength / 2;
    EXPECT_EQ(b->Recorded(),
              std::vector<std::int16_t>(signal.begin() + offset, signal.begin() + offset + slots));
    offset += slots;
  }
  EXPECT_EQ(log.Headers(WIM_DATA),
            (std::vector<WAVEHDR*>{&buffers[0]->header, &buffers[1]->header, &buffers[2]->header}));
  EXPECT_EQ(card.OverflowFrames(0), frames - 260);
}

TEST_F(WaveIn, CaptureHearsNothingBeforeStart) {
  const auto signal = Ramp(500);
  card.SetCaptureSource(0, MakeTestVector(signal));
  HWAVEIN h = OpenIn();
  ASSERT_NE(h, nullptr);
  const auto buffers = AddBuffers(h, {50});
  card.Step(120);
  EXPECT_EQ(log.Count(WIM_DATA), 0u);
  EXPECT_EQ(buffers[0]->header.dwBytesRecorded, 0u);
  EXPECT_TRUE(buffers[0]->header.dwFlags & WHDR_INQUEUE);
  EXPECT_EQ(card.OverflowFrames(0), 0u);

  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  card.Step(50);
  ASSERT_EQ(log.Count(WIM_DATA), 1u);
  // The signal starts when capture does.
  EXPECT_EQ(buffers[0]->Recorded(),
            std::vector<std::int16_t>(signal.begin(), signal.begin() + 100));
}

TEST_F(WaveIn, StopReturnsThePartlyFilledHeaderAndKeepsTheRestQueued) {
  const auto signal = Ramp(1000);
  card.SetCaptureSource(0, MakeTestVector(signal));
  HWAVEIN h = OpenIn();
  ASSERT_NE(h, nullptr);
  const auto buffers = AddBuffers(h, {100, 100, 100});
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  card.Step(130);
  ASSERT_EQ(log.Count(WIM_DATA), 1u);

  ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(log.WaitFor(WIM_DATA, 2));
  EXPECT_EQ(log.Headers(WIM_DATA).back(), &buffers[1]->header);
  EXPECT_EQ(buffers[1]->header.dwBytesRecorded, 30 * kFrameBytes);
  EXPECT_EQ(buffers[1]->Recorded(),
            std::vector<std::int16_t>(signal.begin() + 200, signal.begin() + 260));
  EXPECT_EQ(buffers[2]->header.dwFlags & (WHDR_INQUEUE | WHDR_DONE), WHDR_INQUEUE);

  // Stopped, the card hears nothing; a stop with an empty header at the front returns none.
  card.Step(70);
  ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);
  EXPECT_EQ(buffers[2]->header.dwBytesRecorded, 0u);
  EXPECT_EQ(card.OverflowFrames(0), 0u);

  // Started again, the signal carries on where it stopped.
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  card.Step(100);
  ASSERT_EQ(log.Count(WIM_DATA), 3u);
  EXPECT_EQ(buffers[2]->Recorded(),
            std::vector<std::int16_t>(signal.begin() + 260, signal.begin() + 460));
}

TEST_F(WaveIn, ResetReturnsEveryQueuedHeaderWithItsNoticeBeforeItReturns) {
  card.SetCaptureSource(0, MakeTestVector(Ramp(1000)));
  log.delay = 3ms;
  HWAVEIN h = OpenIn();
  ASSERT_NE(h, nullptr);
  const auto buffers = AddBuffers(h, {100, 100, 100, 100});
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  card.Step(30);

  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  EXPECT_EQ(log.Count(WIM_DATA), 4u);
  EXPECT_EQ(buffers[0]->header.dwBytesRecorded, 30 * kFrameBytes);
  for (Buffer* b : buffers) {
    EXPECT_EQ(b->header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
  }
  for (std::size_t i = 1; i < buffers.size(); ++i)
    EXPECT_EQ(buffers[i]->header.dwBytesRecorded, 0u);

  // Reset also stops: a header added now stays empty until the next start.
  ASSERT_EQ(waveInAddBuffer(h, &buffers[0]->header, kHdr), MMSYSERR_NOERROR);
  card.Step(200);
  EXPECT_EQ(buffers[0]->header.dwBytesRecorded, 0u);
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  EXPECT_EQ(log.Count(WIM_DATA), 5u);
  EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

// ---- Playback ----

TEST_F(WaveOut, PlaybackPlaysHeadersInOrderAndKeepsExactlyTheirData) {
  HWAVEOUT h = OpenOut();
  ASSERT_NE(h, nullptr);
  card.Step(40);  // nothing queued yet: nothing played, and no underflow before the first
  EXPECT_TRUE(card.Played(0).empty());
  EXPECT_EQ(card.UnderflowFrames(0), 0u);

  std::vector<std::int16_t> written;
  const auto buffers = WriteBuffers(h, {50, 120, 30}, &written);
  std::size_t frames = 0;
  while (frames < 250) {
    card.Step(33);
    frames += 33;
    const std::size_t done = (frames >= 50) + (frames >= 170) + (frames >= 200);
    ASSERT_EQ(log.Count(WOM_DONE), done) << "after " << frames << " frames";
  }
  EXPECT_EQ(card.Played(0), written);
  EXPECT_EQ(card.UnderflowFrames(0), frames - 200);
  EXPECT_EQ(log.Headers(WOM_DONE),
            (std::vector<WAVEHDR*>{&buffers[0]->header, &buffers[1]->header, &buffers[2]->header}));
  for (Buffer* b : buffers) EXPECT_EQ(b->header.dwFlags, WHDR_PREPARED | WHDR_DONE);

  EXPECT_EQ(card.TakePlayed(0), written);
  EXPECT_TRUE(card.Played(0).empty());
}

TEST_F(WaveOut, ResetReturnsEveryQueuedHeaderAndTheNextOnePlaysFromItsStart) {
  log.delay = 3ms;
  HWAVEOUT h = OpenOut();
  ASSERT_NE(h, nullptr);
  std::vector<std::int16_t> written;
  const auto buffers = WriteBuffers(h, {100, 100, 100}, &written);
  card.Step(30);

  ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
  EXPECT_EQ(log.Count(WOM_DONE), 3u);
  for (Buffer* b : buffers) EXPECT_EQ(b->header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
  EXPECT_EQ(card.TakePlayed(0), std::vector<std::int16_t>(written.begin(), written.begin() + 60));

  card.Step(50);
  EXPECT_TRUE(card.Played(0).empty());
  ASSERT_EQ(waveOutWrite(h, &buffers[1]->header, kHdr), MMSYSERR_NOERROR);
  card.Step(100);
  EXPECT_EQ(card.Played(0),
            std::vector<std::int16_t>(written.begin() + 200, written.begin() + 400));
  EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

// ---- Bad arguments ----

TEST_F(WaveHandles, BadStaleAndMismatchedHandlesAreRefusedHarmlessly) {
  HWAVEIN in = OpenIn();
  HWAVEOUT out = OpenOut();
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  Buffer& b = NewBuffer(16);
  WAVEHDR* hdr = &b.header;

  const auto refusesIn = [&](HWAVEIN h) {
    SCOPED_TRACE(testing::Message() << "waveIn handle " << h);
    EXPECT_EQ(waveInPrepareHeader(h, hdr, kHdr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInUnprepareHeader(h, hdr, kHdr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInAddBuffer(h, hdr, kHdr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInStart(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInStop(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInReset(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInClose(h), MMSYSERR_INVALHANDLE);
  };
  const auto refusesOut = [&](HWAVEOUT h) {
    SCOPED_TRACE(testing::Message() << "waveOut handle " << h);
    EXPECT_EQ(waveOutPrepareHeader(h, hdr, kHdr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutUnprepareHeader(h, hdr, kHdr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutWrite(h, hdr, kHdr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutReset(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_INVALHANDLE);
  };

  refusesIn(nullptr);
  refusesIn(reinterpret_cast<HWAVEIN>(0xDEADBEEF));
  refusesIn(reinterpret_cast<HWAVEIN>(reinterpret_cast<std::uintptr_t>(in) + 1));
  refusesIn(reinterpret_cast<HWAVEIN>(out));
  refusesOut(nullptr);
  refusesOut(reinterpret_cast<HWAVEOUT>(0xDEADBEEF));
  refusesOut(reinterpret_cast<HWAVEOUT>(in));
  EXPECT_EQ(hdr->dwFlags, 0u) << "a refused call touched the header";

  // The devices passed under the wrong kind of handle are still open and working.
  EXPECT_EQ(waveOutPrepareHeader(out, hdr, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutWrite(out, hdr, kHdr), MMSYSERR_NOERROR);
  card.Step(16);
  EXPECT_EQ(log.Count(WOM_DONE), 1u);
  EXPECT_EQ(waveOutUnprepareHeader(out, hdr, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInStart(in), MMSYSERR_NOERROR);

  // Closed handles are stale for every call, and stay so after their device reopens.
  ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  refusesIn(in);
  refusesOut(out);
  HWAVEIN again = OpenIn();
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, in);
  refusesIn(in);
  EXPECT_EQ(waveInStart(again), MMSYSERR_NOERROR);
}

TEST_F(WaveHeaders, HeaderMisuseGetsTheMatchingCode) {
  HWAVEIN in = OpenIn();
  HWAVEOUT out = OpenOut();
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  Buffer& b = NewBuffer(16);
  Buffer& c = NewBuffer(16);

  // Null headers and wrong sizes.
  for (UINT size : {0u, kHdr - 1, kHdr + 8}) {
    EXPECT_EQ(waveInPrepareHeader(in, &b.header, size), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInUnprepareHeader(in, &b.header, size), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInAddBuffer(in, &b.header, size), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutPrepareHeader(out, &b.header, size), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutUnprepareHeader(out, &b.header, size), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutWrite(out, &b.header, size), MMSYSERR_INVALPARAM);
  }
  EXPECT_EQ(waveInPrepareHeader(in, nullptr, kHdr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInUnprepareHeader(in, nullptr, kHdr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInAddBuffer(in, nullptr, kHdr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutPrepareHeader(out, nullptr, kHdr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutUnprepareHeader(out, nullptr, kHdr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutWrite(out, nullptr, kHdr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(b.header.dwFlags, 0u);

  // Unprepared headers are not queued; unpreparing one is a no-op.
  EXPECT_EQ(waveInAddBuffer(in, &b.header, kHdr), WAVERR_UNPREPARED);
  EXPECT_EQ(waveOutWrite(out, &b.header, kHdr), WAVERR_UNPREPARED);
  EXPECT_EQ(waveInUnprepareHeader(in, &b.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutUnprepareHeader(out, &b.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(b.header.dwFlags, 0u);
  // Prepared then unprepared, it is refused again.
  ASSERT_EQ(waveInPrepareHeader(in, &b.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(b.header.dwFlags, WHDR_PREPARED);
  ASSERT_EQ(waveInUnprepareHeader(in, &b.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(b.header.dwFlags, 0u);
  EXPECT_EQ(waveInAddBuffer(in, &b.header, kHdr), WAVERR_UNPREPARED);

  // A header still queued can be neither prepared, unprepared nor queued again.
  ASSERT_EQ(waveInPrepareHeader(in, &b.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInAddBuffer(in, &b.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInPrepareHeader(in, &b.header, kHdr), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveInUnprepareHeader(in, &b.header, kHdr), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveInAddBuffer(in, &b.header, kHdr), WAVERR_STILLPLAYING);
  ASSERT_EQ(waveOutPrepareHeader(out, &c.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(out, &c.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutPrepareHeader(out, &c.header, kHdr), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutUnprepareHeader(out, &c.header, kHdr), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutWrite(out, &c.header, kHdr), WAVERR_STILLPLAYING);

  // A device with buffers queued does not close.
  EXPECT_EQ(waveInClose(in), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutClose(out), WAVERR_STILLPLAYING);
  EXPECT_EQ(log.Count(WIM_CLOSE) + log.Count(WOM_CLOSE), 0u);

  // The refused calls changed nothing: each header went through once.
  ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
  card.Step(32);
  EXPECT_EQ(log.Count(WIM_DATA), 1u);
  EXPECT_EQ(log.Count(WOM_DONE), 1u);
  EXPECT_EQ(card.Played(0).size(), 32u);
  EXPECT_EQ(waveInUnprepareHeader(in, &b.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutUnprepareHeader(out, &c.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(b.header.dwFlags & WHDR_PREPARED, 0u);
  EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

// ---- Injected faults ----

TEST_F(WaveFaults, FailCallFailsExactlyTheChosenCallsAndCallCountCountsEveryCall) {
  HWAVEIN in = OpenIn();
  HWAVEOUT out = OpenOut();
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  const int addsBefore = card.CallCount(WaveCall::waveInAddBuffer);

  card.FailCall(WaveCall::waveInAddBuffer, MMSYSERR_NOMEM, /*skip=*/1, /*times=*/2);
  Buffer* b[4];
  for (auto*& x : b) {
    x = &NewBuffer(8);
    ASSERT_EQ(waveInPrepareHeader(in, &x->header, kHdr), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(waveInAddBuffer(in, &b[0]->header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInAddBuffer(in, &b[1]->header, kHdr), MMSYSERR_NOMEM);
  EXPECT_EQ(waveInAddBuffer(in, &b[2]->header, kHdr), MMSYSERR_NOMEM);
  EXPECT_EQ(waveInAddBuffer(in, &b[3]->header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInAddBuffer(in, nullptr, kHdr), MMSYSERR_INVALPARAM);
  EXPECT_FALSE(b[1]->header.dwFlags & WHDR_INQUEUE);
  EXPECT_FALSE(b[2]->header.dwFlags & WHDR_INQUEUE);
  EXPECT_EQ(card.CallCount(WaveCall::waveInAddBuffer) - addsBefore, 5);
  ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
  card.Step(16);
  EXPECT_EQ(log.Headers(WIM_DATA), (std::vector<WAVEHDR*>{&b[0]->header, &b[3]->header}));

  // From now on, until cleared; other calls go through meanwhile.
  card.FailCall(WaveCall::waveOutGetNumDevs, MMSYSERR_ERROR, 0, -1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(waveOutGetNumDevs(), 0u);
  EXPECT_EQ(waveInGetNumDevs(), 1u);
  card.ClearFaults();
  EXPECT_EQ(waveOutGetNumDevs(), 1u);
  EXPECT_EQ(card.CallCount(WaveCall::waveOutGetNumDevs), 6);

  // A failed open opens nothing; a failed close leaves the device open and working.
  card.FailCall(WaveCall::waveInOpen, MMSYSERR_NOMEM);
  card.FailCall(WaveCall::waveOutClose, MMSYSERR_ERROR);
  card.FailCall(WaveCall::waveInGetDevCapsA, MMSYSERR_NODRIVER);
  const WAVEFORMATEX format = Pcm();
  HWAVEIN second = nullptr;
  card.AddCaptureDevice({.name = "Second"});
  EXPECT_EQ(waveInOpen(&second, 1, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOMEM);
  EXPECT_EQ(second, nullptr);
  WAVEINCAPSA caps{};
  EXPECT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(out), MMSYSERR_ERROR);
  EXPECT_EQ(log.Count(WOM_CLOSE), 0u);
  Buffer& played = NewBuffer(4);
  EXPECT_EQ(waveOutPrepareHeader(out, &played.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutUnprepareHeader(out, &played.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInOpen(&second, 1, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(second), MMSYSERR_NOERROR);
  EXPECT_EQ(card.CallCount(WaveCall::waveOutClose), 2);
}

// ---- Devices that come and go ----

TEST_F(WaveDevices, RemovingADeviceReturnsItsHeadersFailsItsHandleAndRenumbersTheRest) {
  card.AddCaptureDevice({.name = "Second In"});
  card.AddPlaybackDevice({.name = "Second Out"});
  log.delay = 2ms;
  log2.delay = 2ms;
  HWAVEIN in = OpenIn(0, &log);
  HWAVEOUT out = OpenOut(0, &log2);
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  const auto captured = AddBuffers(in, {100, 100, 100});
  std::vector<std::int16_t> written;
  const auto played = WriteBuffers(out, {100, 100}, &written);
  ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
  card.Step(30);

  card.RemoveCaptureDevice(0);
  card.RemovePlaybackDevice(0);
  EXPECT_EQ(
      log.Headers(WIM_DATA),
      (std::vector<WAVEHDR*>{&captured[0]->header, &captured[1]->header, &captured[2]->header}));
  EXPECT_EQ(log2.Headers(WOM_DONE),
            (std::vector<WAVEHDR*>{&played[0]->header, &played[1]->header}));
  EXPECT_EQ(captured[0]->header.dwBytesRecorded, 30 * kFrameBytes);
  for (Buffer* b : captured) EXPECT_EQ(b->header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
  for (Buffer* b : played) EXPECT_EQ(b->header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);

  // The handles stay valid but their device is gone.
  EXPECT_EQ(waveInPrepareHeader(in, &NewBuffer(4).header, kHdr), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveInAddBuffer(in, &captured[0]->header, kHdr), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveInStart(in), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveInStop(in), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveOutWrite(out, &played[0]->header, kHdr), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveOutPrepareHeader(out, &NewBuffer(4).header, kHdr), MMSYSERR_NODRIVER);
  card.Step(300);  // the clock runs on without them
  EXPECT_EQ(log.Count(WIM_DATA), 3u);
  EXPECT_EQ(log2.Count(WOM_DONE), 2u);
  EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(log.Count(WIM_CLOSE), 1u);
  EXPECT_EQ(log2.Count(WOM_CLOSE), 1u);

  // The later devices moved down.
  ASSERT_EQ(waveInGetNumDevs(), 1u);
  ASSERT_EQ(waveOutGetNumDevs(), 1u);
  WAVEINCAPSA inCaps{};
  WAVEOUTCAPSA outCaps{};
  ASSERT_EQ(waveInGetDevCapsA(0, &inCaps, sizeof inCaps), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutGetDevCapsA(0, &outCaps, sizeof outCaps), MMSYSERR_NOERROR);
  EXPECT_STREQ(inCaps.szPname, "Second In");
  EXPECT_STREQ(outCaps.szPname, "Second Out");
  EXPECT_EQ(waveInGetDevCapsA(1, &inCaps, sizeof inCaps), MMSYSERR_BADDEVICEID);
  HWAVEIN moved = OpenIn(0, &log2);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(waveInClose(moved), MMSYSERR_NOERROR);

  // A device added while running gets the next number.
  EXPECT_EQ(card.AddPlaybackDevice({.name = "Hot Plugged"}), 1u);
  EXPECT_EQ(waveOutGetNumDevs(), 2u);
}

// ---- Calls made from the callbacks ----

TEST_F(WaveCallbacks, RequeueingFromTheCallbackKeepsBothStreamsTurning) {
  const auto period = Ramp(999);  // not a multiple of the header size
  card.SetCaptureSource(0, MakeTestVector(period, /*loop=*/true));
  constexpr std::size_t kFrames = 64;

  std::vector<std::int16_t> heard;  // touched by the capture callback only until the end
  std::atomic<bool> inFailed{false};
  log.onIn = [&](HWAVEIN h, UINT msg, WAVEHDR* header) {
    if (msg != WIM_DATA) return;
    const auto* slots = reinterpret_cast<const std::int16_t*>(header->lpData);
    heard.insert(heard.end(), slots, slots + header->dwBytesRecorded / 2);
    if (waveInAddBuffer(h, header, kHdr) != MMSYSERR_NOERROR) inFailed = true;
  };
  std::size_t nextFrame = 0;  // of the ramp being played; the playback callback's own
  std::atomic<bool> outFailed{false};
  log2.onOut = [&](HWAVEOUT h, UINT msg, WAVEHDR* header) {
    if (msg != WOM_DONE) return;
    const auto slots = Ramp(kFrames, static_cast<int>(nextFrame) + 1);
    std::memcpy(header->lpData, slots.data(), kFrames * kFrameBytes);
    nextFrame += kFrames;
    if (waveOutWrite(h, header, kHdr) != MMSYSERR_NOERROR) outFailed = true;
  };

  HWAVEIN in = OpenIn(0, &log);
  HWAVEOUT out = OpenOut(0, &log2);
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  AddBuffers(in, {kFrames, kFrames});
  std::vector<std::int16_t> written;
  WriteBuffers(out, {kFrames, kFrames}, &written);
  nextFrame = 2 * kFrames;
  ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);

  constexpr std::size_t kSteps = 400, kStep = 50;
  for (std::size_t i = 0; i < kSteps; ++i) card.Step(kStep);
  const std::size_t total = kSteps * kStep;
  EXPECT_EQ(log.Count(WIM_DATA), total / kFrames);
  EXPECT_EQ(log2.Count(WOM_DONE), total / kFrames);
  EXPECT_FALSE(inFailed);
  EXPECT_FALSE(outFailed);
  EXPECT_EQ(card.OverflowFrames(0), 0u);
  EXPECT_EQ(card.UnderflowFrames(0), 0u);

  log.quiet = true;
  log2.quiet = true;
  ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
  EXPECT_EQ(heard, Cycle(period, 0, heard.size() / 2));
  EXPECT_EQ(heard.size(), 2 * (total / kFrames) * kFrames);
  EXPECT_EQ(card.Played(0), Ramp(total));
  EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(WaveCallbacks, ACaptureCallbackThatClosesItsOwnDeviceNeitherCrashesNorHangs) {
  std::atomic<MMRESULT> unprepared{99}, closed{99};
  std::atomic<int> closings{0};
  const auto closeOnData = [&](HWAVEIN h, UINT msg, WAVEHDR* header) {
    if (msg != WIM_DATA || closings++ > 0) return;
    unprepared = waveInUnprepareHeader(h, header, kHdr);
    closed = waveInClose(h);
  };
  log.onIn = closeOnData;
  log2.onIn = closeOnData;

  // Inside a step of the clock.
  HWAVEIN h = OpenIn(0, &log);
  ASSERT_NE(h, nullptr);
  AddBuffers(h, {50});
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  card.Step(200);
  ASSERT_TRUE(log.WaitFor(WIM_CLOSE, 1));
  EXPECT_EQ(unprepared, MMSYSERR_NOERROR);
  EXPECT_EQ(closed, MMSYSERR_NOERROR);
  EXPECT_EQ(waveInStart(h), MMSYSERR_INVALHANDLE);
  card.Step(200);
  EXPECT_EQ(log.Messages(), (std::vector<UINT>{WIM_OPEN, WIM_DATA, WIM_CLOSE}));

  // From the notice of a stop, with no other reference to the device left.
  closings = 0;
  unprepared = closed = 99;
  h = OpenIn(0, &log2);
  ASSERT_NE(h, nullptr);
  AddBuffers(h, {50});
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  card.Step(10);
  ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(log2.WaitFor(WIM_CLOSE, 1));
  EXPECT_EQ(closed, MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(h), MMSYSERR_INVALHANDLE);
  EXPECT_NE(OpenIn(0), nullptr) << "the device closed from its callback stayed allocated";
}

TEST_F(WaveCallbacks, APlaybackCallbackThatResetsAndClosesItsOwnDeviceNeitherCrashesNorHangs) {
  std::atomic<MMRESULT> reset{99}, closed{99}, again{99};
  std::atomic<int> dones{0};
  log.onOut = [&](HWAVEOUT h, UINT msg, WAVEHDR*) {
    if (msg != WOM_DONE) return;
    if (dones++ == 0) {
      reset = waveOutReset(h);  // from its own callback: returns without waiting
      closed = waveOutClose(h);
    } else {
      again = waveOutClose(h);
    }
  };
  HWAVEOUT h = OpenOut();
  ASSERT_NE(h, nullptr);
  std::vector<std::int16_t> written;
  WriteBuffers(h, {20, 20, 20}, &written);
  card.Step(100);
  ASSERT_TRUE(log.WaitFor(WOM_CLOSE, 1));
  EXPECT_EQ(reset, MMSYSERR_NOERROR);
  EXPECT_EQ(closed, MMSYSERR_NOERROR);
  EXPECT_EQ(again, MMSYSERR_INVALHANDLE);
  EXPECT_EQ(log.Messages(), (std::vector<UINT>{WOM_OPEN, WOM_DONE, WOM_DONE, WOM_DONE, WOM_CLOSE}));
  EXPECT_EQ(card.Played(0), std::vector<std::int16_t>(written.begin(), written.begin() + 40));
  EXPECT_EQ(waveOutWrite(h, nullptr, kHdr), MMSYSERR_INVALHANDLE);
}

// ---- The stepped clock ----

TEST_F(VirtualClock, StepReturnsOnlyOnceEveryCompletedHeaderHasBeenHandled) {
  log.delay = 4ms;
  log2.delay = 4ms;
  HWAVEIN in = OpenIn(0, &log);
  HWAVEOUT out = OpenOut(0, &log2);
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  AddBuffers(in, {10, 10, 10, 10, 10});
  std::vector<std::int16_t> written;
  WriteBuffers(out, {10, 10, 10, 10, 10}, &written);
  ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
  card.Step(45);
  EXPECT_EQ(log.Count(WIM_DATA), 4u);
  EXPECT_EQ(log2.Count(WOM_DONE), 4u);
  card.Step(5);
  EXPECT_EQ(log.Count(WIM_DATA), 5u);
  EXPECT_EQ(log2.Count(WOM_DONE), 5u);
}

TEST_F(VirtualClock, AtASharedBoundaryTheStreamOpenedFirstCompletesFirst) {
  // One log for both devices: its order is the order the notices were handled in.
  log.delay = 2ms;
  const auto dataOrder = [&] {
    std::vector<UINT> order;
    for (UINT m : log.Messages()) {
      if (m == WIM_DATA || m == WOM_DONE) order.push_back(m);
    }
    return order;
  };
  for (bool captureFirst : {true, false}) {
    SCOPED_TRACE(captureFirst ? "capture opened first" : "playback opened first");
    HWAVEIN in = nullptr;
    HWAVEOUT out = nullptr;
    if (captureFirst) in = OpenIn(0, &log);
    out = OpenOut(0, &log);
    if (!captureFirst) in = OpenIn(0, &log);
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    // Playback queued first and with its boundaries inside one long step.
    std::vector<std::int16_t> written;
    WriteBuffers(out, {32, 32, 32}, &written);
    AddBuffers(in, {32, 32, 32});
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    const std::size_t before = dataOrder().size();
    card.Step(96);
    auto order = dataOrder();
    order.erase(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(before));
    const UINT first = captureFirst ? WIM_DATA : WOM_DONE;
    const UINT second = captureFirst ? WOM_DONE : WIM_DATA;
    EXPECT_EQ(order, (std::vector<UINT>{first, second, first, second, first, second}));
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  }
}

}  // namespace
