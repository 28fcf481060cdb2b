#include "tests/support/engine_rig.h"

#include <chrono>

#include "audio/buffer_rules.h"
#include "audio/engine_state.h"
#include "echo/echo_rules.h"
#include "echo/echo_settings.h"
#include "echo/processor_power.h"

void RecordingPanel::PaintProduceLed(TColor colour) {
  std::lock_guard lock(mutex_);
  paints_.push_back({colour, InOlder.load(), InNewer.load()});
}

void RecordingPanel::AppendMemoLine(const std::string& line) {
  std::lock_guard lock(mutex_);
  memo_.push_back(line);
}

void RecordingPanel::ShowMessage(const std::string& text) {
  std::lock_guard lock(mutex_);
  messages_.push_back(text);
}

void RecordingPanel::SetEchoActive(bool ticked) {
  echoActive = ticked;
  WakeEchoThread();
}

std::vector<std::string> RecordingPanel::Memo() {
  std::lock_guard lock(mutex_);
  return memo_;
}

std::vector<std::string> RecordingPanel::Messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<RecordingPanel::Paint> RecordingPanel::Paints() {
  std::lock_guard lock(mutex_);
  return paints_;
}

void ResetEngineState() {
  for (auto* setting : {&SampleRate, &BufferSize, &EchoDelay, &EchoStep, &EchoVolume}) {
    *setting = 0;
  }
  hWaveIn = nullptr;
  hWaveOut = nullptr;
  for (int k = 0; k < kPoolBuffers; ++k) {
    BufferHandle[k] = nullptr;
    BufferData[k] = nullptr;
    WaveHeader[k] = WAVEHDR{};
  }
  for (auto* index : {&bufinnum, &bufoutnum, &InLast, &InNewer, &InOlder, &OutLast}) *index = 0;
  for (auto* flag : {&InputActive, &OutputActive, &FirstInBuffer, &FirstOutBuffer, &BufferReady}) {
    *flag = false;
  }
}

EngineRig::EngineRig(std::int32_t rate, std::int32_t multiplier) {
  ResetEngineState();
  SampleRate = rate;
  BufferSize = BufferSizeFor(multiplier, rate);
  ApplyEchoSliders(ApplyPresetTo({}, StartupPreset(), BufferSize, rate));
  card.AddCaptureDevice();
  card.AddPlaybackDevice();
}

EngineRig::~EngineRig() {
  if (InputActive || OutputActive) PowerOff();
}

void EngineRig::PowerOn() {
  PowerUpEngine(echo);
}

void EngineRig::RunPeriod() {
  card.Step(static_cast<std::size_t>(PeriodFrames()));
  while (BufferReady && echo.Running()) gui.WaitAndPump(std::chrono::microseconds(100));
}

void EngineRig::RunPeriods(int n) {
  for (int i = 0; i < n; ++i) RunPeriod();
}

void EngineRig::PowerOff() {
  const bool ticked = panel.echoActive;
  panel.SetEchoActive(false);
  AwaitEchoEnd(echo, [this] { gui.Pump(); });
  PowerDownEngine();
  gui.Pump();
  panel.SetEchoActive(ticked);
}

std::int32_t EngineRig::PeriodFrames() const {
  return BufferSize / 4;
}
