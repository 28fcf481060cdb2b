// The waveform calls on the in-process sound card: opening a device: formats, numbers, handles and
// the open notice.
#include "tests/platform/wave_card.h"

namespace {

using namespace wave_card;

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

}  // namespace
