// The start-up device check: counts the devices of each kind, reads the names of device 0,
// and tries whether some device number can record and play at once in the stream format.
// The window applies the selectors' maxima and the name labels and shows the text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/waveaudio/mmsystem.h"

// What the check found. A side with no device leaves its selector and label as they are.
struct DeviceCheck {
  std::string text;  // the problems found, each fragment starting with a space; "" for none
  std::optional<int> captureMax;           // for the capture selector: device count - 1
  std::optional<std::string> captureName;  // for its label: the name of capture device 0
  std::optional<int> playbackMax;
  std::optional<std::string> playbackName;
};

// Runs the check at the SampleRate of the moment, filling the shared capability records
// with device 0 of each kind. GUI thread, before any stream runs.
DeviceCheck CheckDevices(WAVEINCAPSA& inCaps, WAVEOUTCAPSA& outCaps);

// True unless capture device `DeviceId` opens and playback device `DeviceId` then does not.
// Closes what it opened. GUI thread, before any stream runs.
bool TestFullDuplex(std::int32_t DeviceId);

// The message box of a power-on that must not go ahead because capture device `capture`
// records what playback device `playback` plays (WaveDevicesLoop): the echo would be heard
// again, echoed again, louder each time. Names both devices as their selectors show them;
// empty when the pair does not loop. GUI thread.
std::string FeedbackLoopText(UINT capture, UINT playback);

// The name in a capability record: up to its first NUL, all 32 characters if it has none.
std::string DeviceName(const char (&szPname)[MAXPNAMELEN]);

// The sound driver's own reason for its latest failure, as a memo line to follow the
// program's own ("waveInOpen ERROR!"); empty when the driver gave none.
std::string DriverFailureLine();
