// The seam between the waveform calls (mmsystem.cpp) and a sound card driver. The calls do
// all the bookkeeping the service promises (handles, header flags, queue order, notices on
// a service thread); a driver only moves bytes between its devices and the queued headers.
//
// What the front (the waveform calls) checks before a driver sees a call:
//   - a handle is one of its own and still open; a header is prepared, not queued twice,
//     has data and a length; pointers are not null and sizes are what the call needs;
//   - a format is well formed PCM (tag, block alignment, bytes a second agree);
//   - a device number is below the driver's DeviceCount;
//   - a failure injected for the call (Injected) is returned instead of making it.
// What each driver (PulseDriver, VirtualDriver) must do:
//   - refuse, with WAVERR_BADFORMAT, any format IsProgramFormat refuses or its devices
//     cannot play, and MMSYSERR_BADDEVICEID for a number its devices no longer have;
//   - move sound only through the StreamEndpoint, never call the program's callback, and
//     never block a waveform call without a bound;
//   - when a device goes away, Fail its endpoints, so that queued headers come back.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/waveaudio/mmsystem.h"

enum class WaveDirection { Capture, Playback };

class CompletionOrder;

// The one format the program plays and records: 16-bit stereo PCM, at a rate between 1 and
// 192 kHz (the server or card resamples); a frame is kFrameBytes.
constexpr std::size_t kFrameBytes = 4;
constexpr bool IsProgramFormat(const WAVEFORMATEX& format) {
  return format.nChannels == 2 && format.wBitsPerSample == 16 && format.nSamplesPerSec >= 1000 &&
         format.nSamplesPerSec <= 192000;
}

// Every waveform call by name, so that a driver can fail any one of them on purpose.
enum class WaveCall {
  waveInGetNumDevs,
  waveOutGetNumDevs,
  waveInGetDevCapsA,
  waveOutGetDevCapsA,
  waveInOpen,
  waveOutOpen,
  waveInPrepareHeader,
  waveOutPrepareHeader,
  waveInUnprepareHeader,
  waveOutUnprepareHeader,
  waveInAddBuffer,
  waveOutWrite,
  waveInStart,
  waveInStop,
  waveInReset,
  waveOutReset,
  waveInClose,
  waveOutClose,
};
constexpr int kWaveCallCount = static_cast<int>(WaveCall::waveOutClose) + 1;

// What a device says of itself, before it is cut into WAVEINCAPSA or WAVEOUTCAPSA.
struct DeviceCaps {
  WORD mid = 0;
  WORD pid = 0;
  MMVERSION driverVersion = 0;
  std::string name;  // cut to 31 characters and a NUL when copied into a record
  DWORD formats = 0;
  WORD channels = 2;
  DWORD support = 0;
};

// The queue of one open device as a driver sees it. All methods may be called from any
// thread; they never call the device's callback directly, only hand notices to its
// service thread. Capture and Play hand the driver the headers' own memory, so that sound
// is copied once on its way in or out; their functions run under the stream's lock.
class StreamEndpoint {
 public:
  virtual ~StreamEndpoint() = default;

  // Capture: offers the free room of the queued headers in order, up to `bytes` in all;
  // `fill(to, n)` writes the next n bytes of sound at `to`. Completes (WIM_DATA) each header
  // that fills. Returns the bytes taken; the rest found no header, and is lost.
  using Fill = std::function<void(std::byte* to, std::size_t n)>;
  virtual std::size_t Capture(std::size_t bytes, const Fill& fill) = 0;
  // Playback: offers the unplayed data of the queued headers in order, up to `bytes` in all;
  // `take(from, n)` receives the next n bytes. Completes (WOM_DONE) each header it empties.
  // Returns the bytes given; for the rest there was nothing to play.
  using Take = std::function<void(const std::byte* from, std::size_t n)>;
  virtual std::size_t Play(std::size_t bytes, const Take& take) = 0;
  // Bytes still to move in the header at the front of the queue; 0 when none is queued or
  // when capture is not started.
  virtual std::size_t FrontBytesLeft() = 0;
  // Capture: started and not stopped. Playback: at least one header queued.
  virtual bool Running() = 0;
  // The device is gone: every queued header comes back with its notice, and later calls
  // that would use the device (prepare, queue, start, stop) return `code`. What only
  // undoes (unprepare, reset) and closing still succeed, so that a stop sequence can end.
  // Does not wait for the notices, so that a driver may call it from its own thread.
  virtual void Fail(MMRESULT code) = 0;
  // Returns once every notice handed out so far has been delivered; at once when called on
  // the device's own service thread.
  virtual void WaitNoticesDelivered() = 0;
  // Whether every notice handed out so far has been delivered; never waits.
  virtual bool NoticesDelivered() = 0;
  // From now on, the completion notices of this device take turns with those of the other
  // direction's device given the same `order`, each held at most `bound` (see
  // CompletionOrder). A reset, a failure or closing ends its part.
  virtual void OrderCompletions(std::shared_ptr<CompletionOrder> order,
                                std::chrono::microseconds bound) = 0;
};

// The driver's side of one open device. Destroying it detaches the driver from the
// endpoint for good. The hooks run on the thread of the waveform call that caused them,
// with no lock of the stream held; a hook in flight when the device is closed (from its
// callback, on another thread) keeps the port until it returns.
class DevicePort {
 public:
  virtual ~DevicePort() = default;
  virtual void OnQueued() {}
  virtual void OnStart() {}
  virtual void OnStop() {}
  virtual void OnReset() {}
};

class WaveDriver {
 public:
  virtual ~WaveDriver() = default;

  virtual UINT DeviceCount(WaveDirection direction) = 0;
  virtual MMRESULT Capabilities(WaveDirection direction, UINT id, DeviceCaps& caps) = 0;
  // The format has already been checked to be well formed PCM; the driver refuses what its
  // device cannot do with WAVERR_BADFORMAT.
  virtual MMRESULT Open(WaveDirection direction, UINT id, const WAVEFORMATEX& format,
                        std::shared_ptr<StreamEndpoint> endpoint,
                        std::unique_ptr<DevicePort>& port) = 0;
  // A result code to return from this call instead of doing it, or MMSYSERR_NOERROR to go
  // ahead. Asked first by every waveform call.
  virtual MMRESULT Injected(WaveCall) { return MMSYSERR_NOERROR; }
  // The driver's own words for why its latest count, query or open failed (a sound
  // server's reason, which a result code cannot carry); empty when it succeeded or the
  // driver has nothing to add. Any thread.
  virtual std::string LastFailure() const { return {}; }
  // While held, the driver answers counts, capability queries and opens from one listing of
  // its devices, taken by the first of them, so that a device plugged in between two calls
  // cannot change what a number means. Released, it lists afresh. See WaveDeviceSnapshot.
  virtual void HoldDeviceList(bool /*hold*/) {}
  // True when capture device `capture` records what playback device `playback` plays (the
  // monitor of a sink): the processor would echo its own output again, louder each time.
  // False for numbers the driver does not have, and for a driver that cannot tell.
  virtual bool Loops(UINT /*capture*/, UINT /*playback*/) { return false; }
  // Completion notices let through out of turn since the driver was made (see
  // CompletionOrder::OutOfTurn): each one a buffer played without its echo, or echoed twice.
  virtual std::uint64_t PassesOutOfTurn() const { return 0; }
};

// Installs the driver that serves the waveform calls from now on; nullptr for none, in
// which case there are no devices. The caller keeps ownership, closes every device before
// uninstalling, and uninstalls before destroying the driver.
void InstallWaveDriver(WaveDriver* driver);
// The installed driver's LastFailure; empty when none is installed.
std::string WaveDriverFailure();
// The installed driver's Loops; false when none is installed.
bool WaveDevicesLoop(UINT capture, UINT playback);
// The installed driver's PassesOutOfTurn; 0 when none is installed.
std::uint64_t WavePassesOutOfTurn();

// One user action's view of the devices: while an instance lives, the installed driver
// holds its device list (WaveDriver::HoldDeviceList), so that a count, the capability
// queries and an open made for one action agree, and the list is read from the sound
// server once. Instances nest; the outermost one releases the list. GUI thread.
class WaveDeviceSnapshot {
 public:
  WaveDeviceSnapshot();
  ~WaveDeviceSnapshot();
  WaveDeviceSnapshot(const WaveDeviceSnapshot&) = delete;
  WaveDeviceSnapshot& operator=(const WaveDeviceSnapshot&) = delete;

 private:
  WaveDriver* driver_;
};
