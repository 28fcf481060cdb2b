// The waveform calls on the in-process sound card: waveform calls made from inside the callbacks.
#include "tests/platform/wave_card.h"

namespace {

using namespace wave_card;

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

}  // namespace
