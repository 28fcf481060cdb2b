#include "tools/progress_bar.h"

#include <algorithm>

namespace {

constexpr int kBarWidth = 40;

}  // namespace

void ProgressBar::Show(std::int64_t done, std::optional<std::int64_t> total, double periodSeconds) {
  if (!terminal_) return;
  std::string text;
  if (total && *total > 0) {
    const std::int64_t percent = std::clamp<std::int64_t>(100 * done / *total, 0, 100);
    const auto filled = static_cast<std::size_t>(percent * kBarWidth / 100);
    // Appended piece by piece: GCC 12 at -O3 misreads a prefix inserted before a string
    // ("[" + ...) as an overlapping copy (-Wrestrict).
    text = "[";
    text.append(filled, '#').append(kBarWidth - filled, ' ').append("] ");
    text += std::to_string(percent) + "%";
  } else {
    text = std::to_string(static_cast<std::int64_t>(done * periodSeconds)) + " s of sound";
  }
  if (text == shown_) return;
  // Spaces wipe what a longer text drew before.
  const std::size_t wipe = shown_.size() > text.size() ? shown_.size() - text.size() : 0;
  out_ << "\rechora-cli: rendering " << text << std::string(wipe, ' ') << std::flush;
  shown_ = text;
}

void ProgressBar::Finish() {
  if (!shown_.empty()) out_ << "\n" << std::flush;
  shown_.clear();
}
