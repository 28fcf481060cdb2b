// A test bench for the engine: the virtual sound card on a stepped clock, a GUI queue that
// the test thread pumps, and a panel that records what the engine reports.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "audio/engine_bindings.h"
#include "audio/panel_links.h"
#include "echo/echo_process.h"
#include "platform/thread/dispatcher.h"
#include "platform/waveaudio/virtual_driver.h"

class RecordingPanel final : public PanelLinks {
 public:
  int CaptureDeviceNumber() override { return captureDevice; }
  int PlaybackDeviceNumber() override { return playbackDevice; }
  bool EchoActive() override { return echoActive; }
  void PaintProduceLed(TColor colour) override;
  void AppendMemoLine(const std::string& line) override;
  void ShowMessage(const std::string& text) override;

  // Ticks or unticks "Echo active" as the window does: the stored tick, then a wake-up.
  void SetEchoActive(bool ticked);

  std::vector<std::string> Memo();
  std::vector<std::string> Messages();
  // Every LED paint, with the pair of buffers the pass works on when it turns red.
  struct Paint {
    TColor colour;
    std::int32_t older;
    std::int32_t newer;
  };
  std::vector<Paint> Paints();

  std::atomic<int> captureDevice{0};
  std::atomic<int> playbackDevice{0};
  std::atomic<bool> echoActive{true};

 private:
  std::mutex mutex_;
  std::vector<std::string> memo_;
  std::vector<std::string> messages_;
  std::vector<Paint> paints_;
};

class EngineRig {
 public:
  // Sets the engine as at program start (every index 0, every flag false), with the given
  // rate and multiplier-derived buffer size and the echo settings of "Concert Hall 1".
  explicit EngineRig(std::int32_t rate = 8000, std::int32_t multiplier = 2);
  ~EngineRig();

  // Switches on (pool, capture, playback, echo thread if ticked).
  void PowerOn();
  // One buffer period on the card, then the echo pass it started, if any, to its end.
  void RunPeriod();
  void RunPeriods(int n);
  // Unticks "Echo active", waits out the echo thread, stops both streams and frees the
  // pool; then restores the tick as the window does.
  void PowerOff();
  void Pump() { gui.Pump(); }

  std::int32_t PeriodFrames() const;

  VirtualDriver card;
  QueueDispatcher gui;
  RecordingPanel panel;
  const EngineBindings bindings{card, gui, panel};
  EchoThreadHolder echo;
};

// Puts every shared word of the engine back to its program-start value.
void ResetEngineState();
