// The waveform calls on a real sound server: PulseAudio's client library, which PipeWire
// desktops serve too. Capture devices are the server's sources, monitors of its sinks
// included (that is how a user records what the computer plays); playback devices are its
// sinks; both in the order the server created them.
//
// Nothing here waits on the server without a bound: every request gives up after the
// timeout, and a server that dies or a device that disappears fails the open streams, whose
// queued headers then come back with their notices.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/waveaudio/wave_driver.h"

class PulseDriver final : public WaveDriver {
 public:
  static constexpr std::chrono::milliseconds kMinLatency{40};
  static constexpr std::chrono::milliseconds kMaxLatency{200};
  // The server latency for headers that each hold `period` of sound. A processor's buffer
  // period is at least half a second, so the server need not wake it 25 times a second:
  // a tenth of a period still leaves the streams nine tenths of it in hand.
  static std::chrono::microseconds LatencyFor(std::chrono::microseconds period);
  // How long after its first write playback starts. The server delivers capture up to one
  // latency late and takes playback up to one latency early, and the processor needs each
  // period's capture completed before its playback: playback waits out both, and a margin
  // of half a latency (at least 20 ms) for a loaded machine. This is the server's share of
  // the delay from sound in to sound out: at most 500 ms.
  static std::chrono::microseconds PlaybackStartDelay(std::chrono::microseconds latency);

  struct Options {
    std::string server;  // empty: the user's server (PULSE_SERVER or the default)
    // What each stream asks the server to buffer. Smaller is quicker to the ear and
    // harder on a loaded machine. Empty: a tenth of the time one queued header holds,
    // between kMinLatency and kMaxLatency (see LatencyFor).
    std::optional<std::chrono::milliseconds> latency;
    std::chrono::milliseconds timeout{2000};  // for any one request to the server
  };

  explicit PulseDriver(Options options);
  PulseDriver();
  // Fails the streams still open; the server connection goes with the last of them.
  ~PulseDriver() override;
  PulseDriver(const PulseDriver&) = delete;
  PulseDriver& operator=(const PulseDriver&) = delete;

  // Times a playback stream found nothing to play while it had headers queued, and times a
  // capture stream's sound found no header or overran the server's buffer.
  std::uint64_t Underflows() const;
  std::uint64_t Overflows() const;
  // Completions let through out of turn, each a buffer played without its echo or echoed
  // twice: what a listener hears of a machine too loaded for the streams' order.
  std::uint64_t PassesOutOfTurn() const override;

  // WaveDriver. Each may talk to the server, for at most the timeout.
  UINT DeviceCount(WaveDirection direction) override;
  MMRESULT Capabilities(WaveDirection direction, UINT id, DeviceCaps& caps) override;
  MMRESULT Open(WaveDirection direction, UINT id, const WAVEFORMATEX& format,
                std::shared_ptr<StreamEndpoint> endpoint,
                std::unique_ptr<DevicePort>& port) override;
  // Why the server could not be reached, refused a stream or did not list its devices, in
  // its own words: "cannot reach the sound server at unix:/run/…: Connection refused".
  std::string LastFailure() const override;
  void HoldDeviceList(bool hold) override;

  // True while some open stream still runs: false once the server or the devices of all
  // open streams have gone (or none is open).
  bool StreamsAlive() const;
  // The number of the server's default source or sink, if it has one.
  std::optional<UINT> DefaultDevice(WaveDirection direction);
  // True when capture device `capture` is the monitor of playback device `playback`: what
  // is played would be recorded again, and echoed again, ever louder.
  bool Loops(UINT capture, UINT playback) override;

  struct Core;  // the connection, shared with the open streams

 private:
  std::shared_ptr<Core> core_;
};
