// The waveform calls on the in-process sound card: capture through queued headers.
#include "tests/platform/wave_card.h"

namespace {

using namespace wave_card;

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

}  // namespace
