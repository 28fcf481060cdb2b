// The command line's stand-in for the window: fixed device numbers, "Echo active" as asked,
// and the engine's memo lines and message boxes kept as failures (and, when asked, printed
// as they come).
#pragma once

#include <atomic>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "audio/panel_links.h"
#include "platform/thread/dispatcher.h"
#include "platform/waveaudio/wave_driver.h"

class CliPanel final : public PanelLinks {
 public:
  CliPanel(int capture, int playback, bool echo, std::ostream* live = nullptr)
      : capture_(capture), playback_(playback), echo_(echo), live_(live) {}

  int CaptureDeviceNumber() override { return capture_; }
  int PlaybackDeviceNumber() override { return playback_; }
  bool EchoActive() override { return echo_; }
  void PaintProduceLed(TColor colour) override;
  void AppendMemoLine(const std::string& line) override { Report(line); }
  void ShowMessage(const std::string& text) override { Report(text); }

  // Unticks "Echo active", as switching off does first.
  void Untick();
  std::vector<std::string> Reports();
  int Passes() const { return passes_; }

 private:
  void Report(const std::string& text);

  const int capture_;
  const int playback_;
  std::atomic<bool> echo_;
  std::ostream* const live_;
  std::atomic<int> passes_{0};
  std::mutex mutex_;
  std::vector<std::string> reports_;
};
