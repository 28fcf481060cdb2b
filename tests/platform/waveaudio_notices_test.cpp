// The waveform calls on the in-process sound card: the notices, their order and their thread.
#include "tests/platform/wave_card.h"

namespace {

using namespace wave_card;

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

}  // namespace
