// The waveform calls on the in-process sound card: faults injected into any waveform call.
#include "tests/platform/wave_card.h"

namespace {

using namespace wave_card;

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

}  // namespace
