// The rules of the echo controls as plain functions: what the repeats slider means, how far
// the delay slider may go, the sliding volume range, the label texts and the presets. The
// window's handlers apply them to the sliders; the renderer applies them to its settings.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Weight increment per tap for the repeats slider position (1..11): the number of taps
// whose weights stay within 100 percent equals the position.
constexpr std::int32_t EchoStepFor(std::int32_t repeatsPosition) {
  return 100 / repeatsPosition;
}

// The delay slider's maximum in frames: every tap of every output slot then stays within
// the two buffers an echo pass reads.
constexpr std::int32_t DelayMaximum(std::int32_t bufferSize, std::int32_t repeatsPosition) {
  return (bufferSize / repeatsPosition) / 4;
}

// The repeats slider runs from 1 (the direct sound alone) to this many taps.
constexpr std::int32_t kMaxRepeatsPosition = 11;

// A delay in milliseconds as frames at a rate, truncated. The product is taken in 64 bits
// (a 32-bit one wraps past 48.7 s at 44100 Hz) and held at the largest 32-bit count, far
// beyond any delay maximum.
constexpr std::int32_t DelayFramesFor(std::int32_t delayMs, std::int32_t sampleRate) {
  const std::int64_t frames = std::int64_t{delayMs} * sampleRate / 1000;
  return frames > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(frames);
}

// The delay label: frames, two spaces, whole milliseconds (truncated), " ms".
std::string DelayText(std::int32_t position, std::int32_t sampleRate);
// The gain label: percent / 100 rounded to three significant digits (halves away from zero)
// and shown with two decimals, e.g. 1234 -> "12.30".
std::string GainText(std::int32_t volume, char decimalSeparator);

// The volume slider shows a 299-wide window of 1..5000 that slides by 25 when the thumb
// comes within 24 of either end.
struct VolumeRange {
  std::int32_t min = 1;
  std::int32_t max = 300;
  bool operator==(const VolumeRange&) const = default;
};
constexpr std::int32_t kVolumeLimit = 5000;
constexpr std::int32_t kVolumeSlide = 25;
VolumeRange SlideVolumeRange(VolumeRange range, std::int32_t position);

struct Preset {
  std::string_view name;
  std::int32_t delayMs;
  std::int32_t echoes;  // repeats beyond the direct sound
  std::int32_t volume;  // percent
};

// The presets at indices 1..15 of the preset selector; index 0 is "Custom".
extern const std::array<Preset, 15> kPresets;
// The preset at a selector index, or nullptr for "Custom" and any index outside 1..15.
const Preset* PresetAt(int index);
// The selector index of a preset name, or -1.
int PresetIndex(std::string_view name);
// The preset the program starts with, at this selector index: "Concert Hall 1".
constexpr int kStartupPresetIndex = 1;
const Preset& StartupPreset();

// The three echo sliders, at the positions the window is designed with.
struct EchoSliders {
  std::int32_t delay = 4000;  // frames
  std::int32_t delayMax = 12500;
  std::int32_t repeats = 3;  // taps: the direct sound plus the repeats
  std::int32_t volume = 100;
  VolumeRange volumeRange;
};

// The repeats slider moved to `position`, clamped to its range: the delay's maximum
// follows it, which may lower the delay.
EchoSliders MoveRepeats(EchoSliders sliders, std::int32_t position, std::int32_t bufferSize);

// Applies `preset` in the order the sliders' rules need, through three moves that each
// clamp as their slider does and then run that slider's rule: repeats first (which sets the
// delay maximum), then the delay, then the volume, asked for again until the sliding range
// holds it. `setVolume` returns the position the volume slider took. Returns how many
// volume moves it took. The window moves its track bars this way; ApplyPresetTo moves plain
// values.
template <typename SetRepeats, typename SetDelay, typename SetVolume>
int ApplyPresetSteps(const Preset& preset, std::int32_t sampleRate, SetRepeats&& setRepeats,
                     SetDelay&& setDelay, SetVolume&& setVolume) {
  setRepeats(preset.echoes + 1);
  setDelay(DelayFramesFor(preset.delayMs, sampleRate));
  // Only volumes the slider can reach, or the range would slide for ever.
  const std::int32_t volume = std::clamp(preset.volume, std::int32_t{1}, kVolumeLimit);
  int passes = 0;
  do {
    ++passes;
  } while (setVolume(volume) != volume);
  return passes;
}

// Where applying `preset` leaves the sliders, for a pool of `bufferSize` bytes at
// `sampleRate`. Reports how many times the volume rule ran in `volumePasses` when given.
EchoSliders ApplyPresetTo(EchoSliders sliders, const Preset& preset, std::int32_t bufferSize,
                          std::int32_t sampleRate, int* volumePasses = nullptr);
