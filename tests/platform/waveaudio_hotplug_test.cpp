// The waveform calls on the in-process sound card: devices that come and go while open.
#include "tests/platform/wave_card.h"

namespace {

using namespace wave_card;

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

}  // namespace
