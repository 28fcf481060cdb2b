// A sound card inside the process, for tests, the file renderer and benchmarks. Capture
// devices hear a CaptureSource; playback devices keep everything they were given. Its clock
// is either stepped by the caller, which makes every run exactly repeatable, or runs in
// real time on a thread of its own. Any waveform call can be made to fail with a chosen
// code, and devices can come and go while streams run.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/waveaudio/capture_source.h"
#include "platform/waveaudio/wave_driver.h"

struct VirtualDevice {
  std::string name = "Virtual Sound Card";
  WORD mid = 0x00FF;
  WORD pid = 0x0001;
  MMVERSION driverVersion = 0x0100;
  DWORD formats = 0x0FFF;  // every WAVE_FORMAT_* bit for 11, 22 and 44 kHz
  WORD channels = 2;
  DWORD support = WAVECAPS_VOLUME | WAVECAPS_LRVOLUME | WAVECAPS_SAMPLEACCURATE;
  MMRESULT capsResult = MMSYSERR_NOERROR;  // what asking its capabilities returns
  MMRESULT openResult = MMSYSERR_NOERROR;  // what opening it returns
  // Playback devices only: refuses to open (MMSYSERR_ALLOCATED) while the capture device of
  // the same number is open, like a card that cannot record and play at once.
  bool halfDuplex = false;
  std::shared_ptr<CaptureSource> source = nullptr;  // capture devices only; silence when unset
  // Capture devices only: the playback device, by its number when this one is added, whose
  // output this one records, as a sound server's monitor of a sink does (see Loops). The
  // tie follows that device when numbers move, and goes with it. Sound does not really
  // pass from one to the other: the source still decides what is heard.
  std::optional<UINT> monitorOf = std::nullopt;
};

class VirtualDriver final : public WaveDriver {
 public:
  enum class Clock { Stepped, RealTime };

  explicit VirtualDriver(Clock clock = Clock::Stepped);
  // Fails every stream still open, so that nothing waits on a card that is gone.
  ~VirtualDriver() override;
  VirtualDriver(const VirtualDriver&) = delete;
  VirtualDriver& operator=(const VirtualDriver&) = delete;

  // Devices are numbered in the order they were added; removing one moves the later ones
  // down, and fails its open stream with MMSYSERR_NODRIVER.
  UINT AddCaptureDevice(VirtualDevice device = {});
  UINT AddPlaybackDevice(VirtualDevice device = {});
  void RemoveCaptureDevice(UINT id);
  void RemovePlaybackDevice(UINT id);
  void SetCaptureSource(UINT id, std::shared_ptr<CaptureSource> source);

  // Stepped clock: moves every running stream on by `frames` frames, in the order the
  // streams were opened, and returns once the notices of every header that filled or
  // emptied have been handled by the callbacks. At a moment where two streams finish a
  // header together, the one opened first completes first.
  void Step(std::size_t frames);

  // From now on, the completion notices of the streams opened take turns, capture first, as
  // on a sound server (see CompletionOrder), each held at most `bound`. The clock then moves
  // every stream through a moment before it waits for their notices, so that a notice held
  // for the other stream's does not hold the clock up.
  void OrderCompletions(std::chrono::microseconds bound);
  // Stepped clock: the streams of `direction` run `frames` behind the clock from the next
  // step on, like a device whose interrupts come late, so that their completions fall after
  // the other direction's of the same moment. A stream that is behind by more catches up in
  // the next step, all at once: a stall and its end. Nothing they hear is lost.
  void Lag(WaveDirection direction, std::size_t frames);
  // Notices let through out of turn since OrderCompletions (see CompletionOrder::OutOfTurn).
  std::uint64_t PassesOutOfTurn() const override;

  // Every slot the playback device was given, in order (interleaved stereo), since it was
  // added or since the last TakePlayed, which also forgets them.
  std::vector<std::int16_t> Played(UINT id) const;
  std::vector<std::int16_t> TakePlayed(UINT id);
  // The same into `into`, whose storage the device then reuses for what it plays next, so
  // that a long run keeps taking without allocating.
  void TakePlayed(UINT id, std::vector<std::int16_t>& into);
  // Frames the playback device had to play with no header queued, since it first played.
  std::uint64_t UnderflowFrames(UINT id) const;
  // Frames the capture device heard with no header to put them in, while started.
  std::uint64_t OverflowFrames(UINT id) const;

  // The call `call` returns `code` instead of doing anything, for `times` calls (-1: from
  // now on) after `skip` calls that go through.
  void FailCall(WaveCall call, MMRESULT code, int skip = 0, int times = 1);
  void ClearFaults();
  // How many times each call has been made since the card was created.
  int CallCount(WaveCall call) const;

  // WaveDriver.
  UINT DeviceCount(WaveDirection direction) override;
  MMRESULT Capabilities(WaveDirection direction, UINT id, DeviceCaps& caps) override;
  MMRESULT Open(WaveDirection direction, UINT id, const WAVEFORMATEX& format,
                std::shared_ptr<StreamEndpoint> endpoint,
                std::unique_ptr<DevicePort>& port) override;
  MMRESULT Injected(WaveCall call) override;
  bool Loops(UINT capture, UINT playback) override;

  struct Shared;  // the card's state, shared with the ports of open streams

 private:
  void RunRealTimeClock();

  std::shared_ptr<Shared> shared_;
  const Clock clock_;
  std::atomic<bool> stopClock_{false};
  std::thread clockThread_;
};
