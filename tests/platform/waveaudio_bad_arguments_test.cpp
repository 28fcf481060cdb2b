// The waveform calls on the in-process sound card: refusals of bad handles, headers, sizes and
// pointers.
#include "tests/platform/wave_card.h"

namespace {

using namespace wave_card;

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

}  // namespace
