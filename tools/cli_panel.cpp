#include "tools/cli_panel.h"

#include "audio/engine_state.h"

void CliPanel::PaintProduceLed(TColor colour) {
  if (colour == clRed) ++passes_;
}

void CliPanel::Untick() {
  echo_ = false;
  WakeEchoThread();
}

std::vector<std::string> CliPanel::Reports() {
  std::lock_guard lock(mutex_);
  return reports_;
}

void CliPanel::Report(const std::string& text) {
  std::lock_guard lock(mutex_);
  reports_.push_back(text);
  if (live_) *live_ << "echora-cli: the engine reports \"" << text << "\"\n" << std::flush;
}
