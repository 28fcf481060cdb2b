// The waveform calls on the in-process sound card: device counts, names and capability records.
#include "tests/platform/wave_card.h"

namespace {

using namespace wave_card;

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

// The card's stand-in for a sound server's monitor of a sink: the pair loops, and only that
// pair, whatever number the playback device has come to.
TEST_F(WaveDevices, AMonitorLoopsWithItsOwnPlaybackDeviceOnlyWhereverItsNumberMoves) {
  card.AddPlaybackDevice({.name = "Headphones"});
  card.AddCaptureDevice({.name = "Monitor of Headphones", .monitorOf = 1});
  EXPECT_TRUE(WaveDevicesLoop(1, 1));
  EXPECT_FALSE(WaveDevicesLoop(1, 0));  // another playback device
  EXPECT_FALSE(WaveDevicesLoop(0, 1));  // another capture device
  EXPECT_FALSE(WaveDevicesLoop(1, 2));  // no such device
  card.RemovePlaybackDevice(0);
  EXPECT_TRUE(WaveDevicesLoop(1, 0));  // "Headphones" moved down
  card.RemovePlaybackDevice(0);
  card.AddPlaybackDevice({.name = "Headphones"});  // another device of the same name
  EXPECT_FALSE(WaveDevicesLoop(1, 0));
  InstallWaveDriver(nullptr);
  EXPECT_FALSE(WaveDevicesLoop(0, 0));
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

}  // namespace
