#include "echo/echo_rules.h"

#include <algorithm>
#include <cstdio>

std::string DelayText(std::int32_t position, std::int32_t sampleRate) {
  return std::to_string(position) + "  " + std::to_string(position * 1000 / sampleRate) + " ms";
}

std::string GainText(std::int32_t volume, char decimalSeparator) {
  // Exact decimal rounding on the integer percent: from 10.00 up, the hundredths digit is
  // the fourth significant one and is rounded away.
  std::int32_t shown = volume;
  if (volume >= 1000) shown = (volume + 5) / 10 * 10;
  if (volume <= -1000) shown = (volume - 5) / 10 * 10;
  const std::int32_t magnitude = shown < 0 ? -shown : shown;
  // Formatted in one piece: GCC 12 at -O3 misreads the inlined copies of a string built up
  // by insert and operator+ as overlapping (-Wrestrict).
  char text[24];
  std::snprintf(text, sizeof text, "%s%d%c%02d", shown < 0 ? "-" : "", magnitude / 100,
                decimalSeparator, magnitude % 100);
  return text;
}

VolumeRange SlideVolumeRange(VolumeRange range, std::int32_t position) {
  if (range.max - kVolumeSlide < position && range.max < kVolumeLimit) {
    range.min += kVolumeSlide;
    range.max += kVolumeSlide;
  }
  if (position < range.min + kVolumeSlide && range.max > 300) {
    range.max -= kVolumeSlide;
    range.min -= kVolumeSlide;
  }
  return range;
}

const std::array<Preset, 15> kPresets = {{
    {"Concert Hall 1", 80, 2, 100},
    {"Concert Hall 2", 100, 3, 100},
    {"Canyon", 600, 3, 100},
    {"Room 1", 60, 2, 100},
    {"Room 2", 70, 3, 100},
    {"Small Room 1", 40, 2, 100},
    {"Small Room 2", 55, 2, 100},
    {"Church 1", 150, 3, 100},
    {"Church 2", 150, 6, 100},
    {"Party Overdrive 1", 0, 0, 800},
    {"Party Overdrive 2", 70, 2, 800},
    {"Canyon Overdrive", 600, 3, 800},
    {"Robot 1", 20, 5, 100},
    {"Robot 2", 10, 4, 100},
    {"Robot 3", 5, 4, 100},
}};

const Preset* PresetAt(int index) {
  if (index < 1 || index > static_cast<int>(kPresets.size())) return nullptr;
  return &kPresets[index - 1];
}

int PresetIndex(std::string_view name) {
  for (std::size_t i = 0; i < kPresets.size(); ++i) {
    if (kPresets[i].name == name) return static_cast<int>(i) + 1;
  }
  return -1;
}

EchoSliders MoveRepeats(EchoSliders sliders, std::int32_t position, std::int32_t bufferSize) {
  sliders.repeats = std::clamp(position, 1, kMaxRepeatsPosition);
  sliders.delayMax = DelayMaximum(bufferSize, sliders.repeats);
  sliders.delay = std::min(sliders.delay, sliders.delayMax);
  return sliders;
}

const Preset& StartupPreset() {
  return *PresetAt(kStartupPresetIndex);
}

EchoSliders ApplyPresetTo(EchoSliders sliders, const Preset& preset, std::int32_t bufferSize,
                          std::int32_t sampleRate, int* volumePasses) {
  const int passes = ApplyPresetSteps(
      preset, sampleRate,
      [&](std::int32_t repeats) { sliders = MoveRepeats(sliders, repeats, bufferSize); },
      [&](std::int32_t delay) { sliders.delay = std::clamp(delay, 0, sliders.delayMax); },
      [&](std::int32_t volume) {
        sliders.volume = std::clamp(volume, sliders.volumeRange.min, sliders.volumeRange.max);
        sliders.volumeRange = SlideVolumeRange(sliders.volumeRange, sliders.volume);
        return sliders.volume;
      });
  if (volumePasses) *volumePasses = passes;
  return sliders;
}
