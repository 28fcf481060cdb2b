// The waveform calls on the in-process sound card: playback through queued headers.
#include "tests/platform/wave_card.h"

namespace {

using namespace wave_card;

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

}  // namespace
