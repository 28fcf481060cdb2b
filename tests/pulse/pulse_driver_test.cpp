// The waveform calls on a real sound server: devices, the calls' contract, and sound that
// goes out through one null sink and comes back through its monitor.
#include "platform/waveaudio/pulse_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/eventually.h"
#include "tests/support/pulse_test_server.h"

namespace {

using namespace std::chrono_literals;

constexpr UINT kHeader = sizeof(WAVEHDR);
// Devices of the test server, in the server's order.
constexpr UINT kInMonitor = 0;  // capture: what is played into "echora_in"
constexpr UINT kOutMonitor = 1;
constexpr UINT kInSink = 0;  // playback
constexpr UINT kOutSink = 1;

WAVEFORMATEX Format(DWORD rate, WORD channels = 2, WORD bits = 16) {
  const WORD align = static_cast<WORD>(channels * bits / 8);
  return {WAVE_FORMAT_PCM, channels, rate, align * rate, align, bits, 0};
}

// Headers that a callback re-queues as they come back, for as long as `keep` says.
struct Ring {
  explicit Ring(std::size_t bytes, int count = 2)
      : memory(count, std::vector<char>(bytes)), headers(count) {
    for (int i = 0; i < count; ++i) {
      headers[i].lpData = memory[i].data();
      headers[i].dwBufferLength = static_cast<DWORD>(bytes);
    }
  }
  std::vector<std::vector<char>> memory;
  std::vector<WAVEHDR> headers;
  std::atomic<bool> keep{true};
  std::atomic<int> done{0};
  std::mutex mutex;
  std::vector<char> recorded;  // capture: every full header, in order
};

template <typename Handle>
struct Device {
  Handle handle = nullptr;
  Ring* ring = nullptr;
};

void CALLBACK_In(HWAVEIN hwi, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto* ring = reinterpret_cast<Ring*>(instance);
  if (msg != WIM_DATA) return;
  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  {
    std::lock_guard lock(ring->mutex);
    ring->recorded.insert(ring->recorded.end(), header->lpData,
                          header->lpData + header->dwBytesRecorded);
  }
  ++ring->done;
  if (ring->keep) waveInAddBuffer(hwi, header, kHeader);
}

void CALLBACK_Out(HWAVEOUT hwo, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto* ring = reinterpret_cast<Ring*>(instance);
  if (msg != WOM_DONE) return;
  ++ring->done;
  if (ring->keep) waveOutWrite(hwo, reinterpret_cast<WAVEHDR*>(param1), kHeader);
}

class PulseDriverOnAServer : public ::testing::Test {
 protected:
  PulseDriverOnAServer() : driver(PulseDriver::Options{server.Address(), 50ms, 2000ms}) {
    InstallWaveDriver(&driver);
  }
  ~PulseDriverOnAServer() override { InstallWaveDriver(nullptr); }

  PulseTestServer server;
  PulseDriver driver;
};

}  // namespace

TEST_F(PulseDriverOnAServer, CountsSourcesWithMonitorsAndSinksAndNamesThem) {
  EXPECT_EQ(waveInGetNumDevs(), 2u);
  EXPECT_EQ(waveOutGetNumDevs(), 2u);
  WAVEINCAPSA in{};
  ASSERT_EQ(waveInGetDevCapsA(kInMonitor, &in, sizeof in), MMSYSERR_NOERROR);
  EXPECT_STREQ(in.szPname, "Monitor of EchoraIn");
  EXPECT_EQ(in.wChannels, 2);
  WAVEOUTCAPSA out{};
  ASSERT_EQ(waveOutGetDevCapsA(kOutSink, &out, sizeof out), MMSYSERR_NOERROR);
  EXPECT_STREQ(out.szPname, "EchoraOut");
  EXPECT_EQ(waveOutGetDevCapsA(2, &out, sizeof out), MMSYSERR_BADDEVICEID);
}

TEST_F(PulseDriverOnAServer, LongDescriptionsAreCutToThirtyOneBytesEndingInAnEllipsis) {
  ASSERT_EQ(server.Pactl("load-module module-null-sink sink_name=long "
                         "sink_properties=device.description=" +
                         std::string(40, 'x')),
            0);
  WAVEOUTCAPSA caps{};
  ASSERT_EQ(waveOutGetDevCapsA(2, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_EQ(std::string(caps.szPname), std::string(28, 'x') + "\u2026");
}

TEST_F(PulseDriverOnAServer, OpensTheProgramsFormatAtEveryRateAndRefusesOthers) {
  for (DWORD rate : {5510u, 6620u, 8000u, 9600u, 11025u, 16000u, 18900u, 22050u, 27420u, 32000u,
                     33075u, 37800u, 44100u}) {
    const WAVEFORMATEX format = Format(rate);
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, kInMonitor, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR) << rate;
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, kOutSink, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  }
  HWAVEOUT out = nullptr;
  const WAVEFORMATEX mono = Format(44100, 1);
  const WAVEFORMATEX eightBit = Format(44100, 2, 8);
  EXPECT_EQ(waveOutOpen(&out, kOutSink, &mono, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
  EXPECT_EQ(waveOutOpen(&out, kOutSink, &eightBit, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
}

TEST_F(PulseDriverOnAServer, PlayedSoundComesBackThroughTheMonitorSampleForSample) {
  const WAVEFORMATEX format = Format(44100);
  // A recognisable signal: a ramp in both channels, 0.25 s.
  std::vector<std::int16_t> signal(2 * 11025);
  for (std::size_t i = 0; i < signal.size(); ++i) {
    signal[i] = static_cast<std::int16_t>((i * 37) % 20000 - 10000);
  }
  Ring capture(4 * 2205, 4);  // 50 ms headers
  HWAVEIN in = nullptr;
  ASSERT_EQ(waveInOpen(&in, kInMonitor, &format, reinterpret_cast<DWORD_PTR>(&CALLBACK_In),
                       reinterpret_cast<DWORD_PTR>(&capture), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  for (auto& h : capture.headers) {
    ASSERT_EQ(waveInPrepareHeader(in, &h, kHeader), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, &h, kHeader), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);

  std::vector<char> bytes(signal.size() * 2);
  std::memcpy(bytes.data(), signal.data(), bytes.size());
  WAVEHDR play{};
  play.lpData = bytes.data();
  play.dwBufferLength = static_cast<DWORD>(bytes.size());
  std::atomic<int> played{0};
  Ring out(4);
  out.keep = false;
  HWAVEOUT hout = nullptr;
  ASSERT_EQ(waveOutOpen(&hout, kInSink, &format, reinterpret_cast<DWORD_PTR>(&CALLBACK_Out),
                        reinterpret_cast<DWORD_PTR>(&out), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutPrepareHeader(hout, &play, kHeader), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(hout, &play, kHeader), MMSYSERR_NOERROR);
  ASSERT_TRUE(Eventually([&] { return out.done == 1; }));
  // Played to the end, plus the server's latency, before capture stops.
  ASSERT_TRUE(Eventually([&] { return capture.done >= 16; }));

  capture.keep = false;
  waveInReset(in);
  for (auto& h : capture.headers) waveInUnprepareHeader(in, &h, kHeader);
  EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
  waveOutUnprepareHeader(hout, &play, kHeader);
  EXPECT_EQ(waveOutClose(hout), MMSYSERR_NOERROR);

  std::vector<std::int16_t> recorded(capture.recorded.size() / 2);
  std::memcpy(recorded.data(), capture.recorded.data(), recorded.size() * 2);
  auto start = std::find_if(recorded.begin(), recorded.end(), [](auto s) { return s != 0; });
  ASSERT_NE(start, recorded.end());
  ASSERT_GE(recorded.end() - start, static_cast<std::ptrdiff_t>(signal.size()));
  EXPECT_TRUE(std::equal(signal.begin(), signal.end(), start));
  EXPECT_EQ((start - recorded.begin()) % 2, 0);
}

TEST_F(PulseDriverOnAServer, ResetReturnsQueuedHeadersAtOnceAndCloseRefusesWhileQueued) {
  const WAVEFORMATEX format = Format(44100);
  Ring ring(4 * 44100, 2);  // a second each: nothing completes on its own during the test
  ring.keep = false;
  HWAVEOUT out = nullptr;
  ASSERT_EQ(waveOutOpen(&out, kOutSink, &format, reinterpret_cast<DWORD_PTR>(&CALLBACK_Out),
                        reinterpret_cast<DWORD_PTR>(&ring), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  for (auto& h : ring.headers) {
    ASSERT_EQ(waveOutPrepareHeader(out, &h, kHeader), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, &h, kHeader), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(waveOutClose(out), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutUnprepareHeader(out, &ring.headers[1], kHeader), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
  EXPECT_EQ(ring.done, 2);  // both notices delivered before the reset returned
  for (auto& h : ring.headers) {
    EXPECT_TRUE(h.dwFlags & WHDR_DONE);
    EXPECT_EQ(waveOutUnprepareHeader(out, &h, kHeader), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(PulseDriverOnAServer, TheSameDeviceOpensTwiceAsTwoIndependentStreams) {
  const WAVEFORMATEX format = Format(22050);
  HWAVEIN first = nullptr;
  HWAVEIN second = nullptr;
  ASSERT_EQ(waveInOpen(&first, kOutMonitor, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInOpen(&second, kOutMonitor, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_NE(first, second);
  EXPECT_EQ(waveInClose(first), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInStart(second), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(second), MMSYSERR_NOERROR);
}

TEST_F(PulseDriverOnAServer, EveryCallOnAClosedHandleIsRefused) {
  const WAVEFORMATEX format = Format(44100);
  HWAVEIN in = nullptr;
  HWAVEOUT out = nullptr;
  ASSERT_EQ(waveInOpen(&in, kInMonitor, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutOpen(&out, kInSink, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  char data[64] = {};
  WAVEHDR header{};
  header.lpData = data;
  header.dwBufferLength = sizeof data;
  EXPECT_EQ(waveInPrepareHeader(in, &header, kHeader), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInAddBuffer(in, &header, kHeader), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInUnprepareHeader(in, &header, kHeader), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInStart(in), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInStop(in), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInReset(in), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInClose(in), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutPrepareHeader(out, &header, kHeader), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutWrite(out, &header, kHeader), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutUnprepareHeader(out, &header, kHeader), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutReset(out), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutClose(out), MMSYSERR_INVALHANDLE);
}

TEST(PulseDriverWithoutServer, HasNoDevicesAndOpensNothingQuickly) {
  PulseDriver driver(PulseDriver::Options{"unix:/nonexistent/echora/native",
                                          std::chrono::milliseconds(50),
                                          std::chrono::milliseconds(2000)});
  InstallWaveDriver(&driver);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(waveInGetNumDevs(), 0u);
  EXPECT_EQ(waveOutGetNumDevs(), 0u);
  const WAVEFORMATEX format = Format(44100);
  HWAVEOUT out = nullptr;
  EXPECT_NE(waveOutOpen(&out, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  WAVEINCAPSA caps{};
  EXPECT_NE(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  // The server's reason survives the result code.
  EXPECT_EQ(WaveDriverFailure(),
            "cannot reach the sound server at unix:/nonexistent/echora/native: Connection refused");
  InstallWaveDriver(nullptr);
}

// A sink loaded between the count and the query of one action changes nothing for that
// action; the next action sees it.
TEST_F(PulseDriverOnAServer, ASnapshotKeepsOneListingOfTheDevicesUntilItEnds) {
  const UINT before = waveOutGetNumDevs();
  {
    const WaveDeviceSnapshot devices;
    EXPECT_EQ(waveOutGetNumDevs(), before);
    ASSERT_EQ(server.Pactl("load-module module-null-sink sink_name=late"), 0);
    EXPECT_EQ(waveOutGetNumDevs(), before);
    WAVEOUTCAPSA caps{};
    EXPECT_EQ(waveOutGetDevCapsA(before, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    const WAVEFORMATEX format = Format(44100);
    HWAVEOUT out = nullptr;
    EXPECT_EQ(waveOutOpen(&out, before, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    ASSERT_EQ(waveOutOpen(&out, kOutSink, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(waveOutGetNumDevs(), before + 1);
  WAVEOUTCAPSA caps{};
  EXPECT_EQ(waveOutGetDevCapsA(before, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Null Output");  // the null sink's own description
}

TEST_F(PulseDriverOnAServer, AReasonIsGivenOnlyForTheServersOwnFailures) {
  EXPECT_GT(waveOutGetNumDevs(), 0u);
  EXPECT_EQ(WaveDriverFailure(), "");
  WAVEINCAPSA caps{};
  EXPECT_EQ(waveInGetDevCapsA(99, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(WaveDriverFailure(), "");  // the program's mistake, not the server's
  server.Kill();
  // A request already under way when the server died says it was lost, at once; the next
  // call finds no server to reach.
  const auto killed = std::chrono::steady_clock::now();
  EXPECT_TRUE(Eventually([] { return waveOutGetNumDevs() == 0; }));
  EXPECT_LT(std::chrono::steady_clock::now() - killed, 1s);
  EXPECT_EQ(waveOutGetNumDevs(), 0u);
  EXPECT_EQ(
      WaveDriverFailure().rfind("cannot reach the sound server at " + server.Address() + ": ", 0),
      0u)
      << WaveDriverFailure();
}
