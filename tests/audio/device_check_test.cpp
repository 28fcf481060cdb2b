// The start-up device check on the virtual card: the counts, the names and the full-duplex
// probe, and the exact texts they produce.
#include "audio/device_check.h"

#include <gtest/gtest.h>

#include <cstring>

#include "audio/engine_state.h"
#include "tests/support/engine_rig.h"

namespace {

const std::string kOneDevice =
    " Only ONE waveIn/waveOut device and it is NOT capable of FULL DUPLEX.\r"
    " You should install full duplex drivers for your soundcard!\r";
const std::string kMoreDevices =
    " More waveIn/waveOut devices, NONE is capable of FULL DUPLEX.\r"
    " You should select two different devices that can use same"
    " frequency or install full duplex drivers for your soundcard!\r"
    " Select devices and frequency in Advanced.Setup.\r";

class DeviceCheckOnACard : public ::testing::Test {
 protected:
  DeviceCheckOnACard() {
    ResetEngineState();
    SampleRate = 44100;
    InstallWaveDriver(&card);
  }
  ~DeviceCheckOnACard() override { InstallWaveDriver(nullptr); }

  VirtualDevice Named(const std::string& name, bool halfDuplex = false) {
    VirtualDevice device;
    device.name = name;
    device.halfDuplex = halfDuplex;
    return device;
  }

  VirtualDriver card;
  WAVEINCAPSA in{};
  WAVEOUTCAPSA out{};
};

}  // namespace

TEST_F(DeviceCheckOnACard, NoDeviceAtAllNamesBothSidesAndProbesNothing) {
  const DeviceCheck check = CheckDevices(in, out);
  EXPECT_EQ(check.text, " No recording device present! No playing device present!");
  EXPECT_FALSE(check.captureMax || check.captureName || check.playbackMax || check.playbackName);
  EXPECT_EQ(card.CallCount(WaveCall::waveInOpen), 0);
}

TEST_F(DeviceCheckOnACard, CaptureOnlyReportsThePlaybackSideAlone) {
  card.AddCaptureDevice(Named("Line In"));
  const DeviceCheck check = CheckDevices(in, out);
  EXPECT_EQ(check.text, " No playing device present!");
  EXPECT_EQ(check.captureMax, 0);
  EXPECT_EQ(check.captureName, "Line In");
  EXPECT_FALSE(check.playbackMax);
  EXPECT_EQ(card.CallCount(WaveCall::waveInOpen), 0);
}

TEST_F(DeviceCheckOnACard, OneOfEachThatCannotRunTogether) {
  card.AddCaptureDevice(Named("Mic"));
  card.AddPlaybackDevice(Named("Speakers", true));
  const DeviceCheck check = CheckDevices(in, out);
  EXPECT_EQ(check.text, kOneDevice);
  EXPECT_EQ("ERROR: " + check.text + " Please correct the error(s) before turning the DSP on!",
            "ERROR:  Only ONE waveIn/waveOut device and it is NOT capable of FULL DUPLEX.\r"
            " You should install full duplex drivers for your soundcard!\r"
            " Please correct the error(s) before turning the DSP on!");
  EXPECT_EQ(check.playbackName, "Speakers");
}

TEST_F(DeviceCheckOnACard, TwoCaptureAndOnePlaybackProbeOnlyNumberZero) {
  card.AddCaptureDevice();
  card.AddCaptureDevice();
  card.AddPlaybackDevice(Named("Speakers", true));
  const DeviceCheck check = CheckDevices(in, out);
  EXPECT_EQ(check.text, kMoreDevices);
  EXPECT_EQ(check.captureMax, 1);
  EXPECT_EQ(check.playbackMax, 0);
  EXPECT_EQ(card.CallCount(WaveCall::waveInOpen), 1);
}

TEST_F(DeviceCheckOnACard, ThreeOfEachWhereOnlyNumberTwoPassesIsEnough) {
  for (int i = 0; i < 3; ++i) {
    card.AddCaptureDevice();
    card.AddPlaybackDevice(Named("Out", i != 2));
  }
  const DeviceCheck check = CheckDevices(in, out);
  EXPECT_EQ(check.text, "");
  EXPECT_EQ(card.CallCount(WaveCall::waveInOpen), 3);  // every number probed
  EXPECT_EQ(card.CallCount(WaveCall::waveOutOpen), 3);
}

TEST_F(DeviceCheckOnACard, ACaptureDeviceThatCannotOpenPassesTheProbe) {
  VirtualDevice broken;
  broken.openResult = MMSYSERR_ALLOCATED;
  card.AddCaptureDevice(broken);
  card.AddPlaybackDevice();
  EXPECT_EQ(CheckDevices(in, out).text, "");
  EXPECT_EQ(card.CallCount(WaveCall::waveOutOpen), 0);
}

TEST_F(DeviceCheckOnACard, UnreadableCapabilitiesAreReportedAndTheLabelKeepsTheOldName) {
  VirtualDevice mute;
  mute.capsResult = MMSYSERR_NODRIVER;
  card.AddCaptureDevice(mute);
  card.AddPlaybackDevice(Named("Speakers"));
  std::strcpy(in.szPname, "Earlier");
  const DeviceCheck check = CheckDevices(in, out);
  EXPECT_EQ(check.text, " WaveInGetDevCaps Error!");
  EXPECT_EQ(check.captureName, "Earlier");
  EXPECT_EQ(check.playbackName, "Speakers");
}

TEST(DeviceName, ReadsAWholeFieldThatHasNoNul) {
  WAVEINCAPSA caps{};
  std::memset(caps.szPname, 'A', sizeof caps.szPname);
  caps.dwFormats = 0x31313131;  // what follows the field must not be read
  EXPECT_EQ(DeviceName(caps.szPname), std::string(32, 'A'));
}
