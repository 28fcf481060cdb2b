// The start-up device check against a real sound server.
#include <gtest/gtest.h>

#include <chrono>

#include "audio/device_check.h"
#include "audio/engine_state.h"
#include "platform/waveaudio/pulse_driver.h"
#include "tests/support/pulse_test_server.h"

using namespace std::chrono_literals;

TEST(DeviceCheckOnPulse, OneDeviceOfEachKindRecordsAndPlaysAtOnce) {
  PulseTestServer server;
  ASSERT_TRUE(server.UnloadSink("echora_out"));
  PulseDriver driver(PulseDriver::Options{server.Address(), 50ms, 2000ms});
  InstallWaveDriver(&driver);
  SampleRate = 44100;
  WAVEINCAPSA in{};
  WAVEOUTCAPSA out{};
  const DeviceCheck check = CheckDevices(in, out);
  InstallWaveDriver(nullptr);
  EXPECT_EQ(check.text, "");
  EXPECT_EQ(check.captureMax, 0);
  EXPECT_EQ(check.playbackMax, 0);
  EXPECT_EQ(check.captureName, "Monitor of EchoraIn");
  EXPECT_EQ(check.playbackName, "EchoraIn");
}

TEST(DeviceCheckOnPulse, NoServerMeansNoDeviceOfEitherKind) {
  PulseDriver driver(PulseDriver::Options{"unix:/nonexistent/echora/native", 50ms, 2000ms});
  InstallWaveDriver(&driver);
  SampleRate = 44100;
  WAVEINCAPSA in{};
  WAVEOUTCAPSA out{};
  const DeviceCheck check = CheckDevices(in, out);
  InstallWaveDriver(nullptr);
  EXPECT_EQ("ERROR: " + check.text + " Please correct the error(s) before turning the DSP on!",
            "ERROR:  No recording device present! No playing device present! Please correct the "
            "error(s) before turning the DSP on!");
}
