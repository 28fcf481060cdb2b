#include "audio/device_check.h"

#include <algorithm>
#include <cstring>

#include "audio/engine_state.h"
#include "audio/streams.h"
#include "platform/waveaudio/wave_driver.h"

namespace {

constexpr char CR = '\r';  // the check's line break, a bare carriage return

}  // namespace

std::string DeviceName(const char (&szPname)[MAXPNAMELEN]) {
  return std::string(szPname, strnlen(szPname, MAXPNAMELEN));
}

std::string DriverFailureLine() {
  const std::string reason = WaveDriverFailure();
  return reason.empty() ? reason : "  (" + reason + ")";
}

DeviceCheck CheckDevices(WAVEINCAPSA& inCaps, WAVEOUTCAPSA& outCaps) {
  DeviceCheck check;
  // The counts are tested as signed numbers, as the program always has.
  if (static_cast<std::int32_t>(waveInGetNumDevs()) <= 0) {
    check.text += " No recording device present!";
  } else {
    if (waveInGetDevCapsA(0, &inCaps, sizeof inCaps)) check.text += " WaveInGetDevCaps Error!";
    check.captureMax = static_cast<std::int32_t>(waveInGetNumDevs()) - 1;
    check.captureName = DeviceName(inCaps.szPname);
  }
  if (static_cast<std::int32_t>(waveOutGetNumDevs()) <= 0) {
    check.text += " No playing device present!";
  } else {
    if (waveOutGetDevCapsA(0, &outCaps, sizeof outCaps)) {
      check.text += " WaveOutGetDevCaps Error!";
    }
    check.playbackMax = static_cast<std::int32_t>(waveOutGetNumDevs()) - 1;
    check.playbackName = DeviceName(outCaps.szPname);
  }
  if (!check.text.empty()) return check;

  const int last = std::min(*check.captureMax, *check.playbackMax);
  bool anyPassed = false;
  for (int i = 0; i <= last; ++i) anyPassed |= TestFullDuplex(i);  // every number is probed
  if (anyPassed) return check;
  if (*check.captureMax == 0 && *check.playbackMax == 0) {
    check.text += " Only ONE waveIn/waveOut device and it is NOT capable of FULL DUPLEX.";
    check.text += CR;
    check.text += " You should install full duplex drivers for your soundcard!";
    check.text += CR;
  } else {
    check.text += " More waveIn/waveOut devices, NONE is capable of FULL DUPLEX.";
    check.text += CR;
    check.text += " You should select two different devices that can use same";
    check.text += " frequency or install full duplex drivers for your soundcard!";
    check.text += CR;
    check.text += " Select devices and frequency in Advanced.Setup.";
    check.text += CR;
  }
  return check;
}

std::string FeedbackLoopText(UINT capture, UINT playback) {
  if (!WaveDevicesLoop(capture, playback)) return {};
  // A name that cannot be read is left out rather than holding the box back: the loop is
  // what the user must hear about.
  WAVEINCAPSA in{};
  WAVEOUTCAPSA out{};
  const std::string input =
      waveInGetDevCapsA(capture, &in, sizeof in) ? "" : " \"" + DeviceName(in.szPname) + "\"";
  const std::string output =
      waveOutGetDevCapsA(playback, &out, sizeof out) ? "" : " \"" + DeviceName(out.szPname) + "\"";
  return "The input" + input + " records the output" + output +
         ": what is played would be echoed again and again, louder each time. Choose another "
         "input or output on the Setup page.";
}

bool TestFullDuplex(std::int32_t DeviceId) {
  bool result = true;
  const bool inOpened = OpenWaveIn(DeviceId);
  bool outOpened = false;
  if (inOpened) {
    outOpened = OpenWaveOut(DeviceId);
    if (!outOpened) result = false;
  }
  // Only what this probe opened: a failed open leaves the handle of an older stream.
  if (inOpened) waveInClose(hWaveIn);
  if (outOpened) waveOutClose(hWaveOut);
  return result;
}
