#include "tools/engine_options.h"

#include <algorithm>
#include <cstdlib>

#include "audio/buffer_rules.h"
#include "audio/engine_state.h"
#include "echo/echo_settings.h"

std::optional<EchoSliders> ResolveSliders(const EngineOptions& options, std::int32_t bufferSize,
                                          std::int32_t sampleRate, std::ostream& notes) {
  const int index = options.preset ? PresetIndex(*options.preset) : kStartupPresetIndex;
  if (index < 0) return std::nullopt;
  EchoSliders sliders = ApplyPresetTo({}, *PresetAt(index), bufferSize, sampleRate);
  if (options.repeats) sliders = MoveRepeats(sliders, *options.repeats + 1, bufferSize);
  if (options.delayMs) {
    sliders.delay = DelayFramesFor(*options.delayMs, sampleRate);
    if (sliders.delay > sliders.delayMax) {
      notes << "echora-cli: note: the delay is held at "
            << std::int64_t{sliders.delayMax} * 1000 / sampleRate << " ms (" << sliders.delayMax
            << " frames), the longest this buffer size allows with " << sliders.repeats - 1
            << " repeats\n";
      sliders.delay = sliders.delayMax;
    }
  }
  if (options.volume) sliders.volume = *options.volume;
  return sliders;
}

std::int32_t NearestSelectableRate(std::int32_t rate) {
  return *std::min_element(kSampleRates.begin(), kSampleRates.end(), [rate](auto a, auto b) {
    return std::abs(std::int64_t{a} - rate) < std::abs(std::int64_t{b} - rate);
  });
}

bool ConfigureEngine(const EngineOptions& options, std::int32_t rate, std::ostream& err) {
  if (!IsSelectableRate(rate)) {
    err << "echora-cli: the processor does not run at " << rate << " Hz; choose one with --rate\n";
    return false;
  }
  const std::int32_t multiplier = FittingMultiplier(options.multiplier, rate);
  if (multiplier != options.multiplier) {
    err << "echora-cli: note: buffer multiplier lowered to " << multiplier << " to fit "
        << kMaxBufferSize << " bytes at " << rate << " Hz\n";
  }
  const std::int32_t bufferSize = BufferSizeFor(multiplier, rate);
  const std::optional<EchoSliders> sliders = ResolveSliders(options, bufferSize, rate, err);
  if (!sliders) {
    err << "echora-cli: unknown preset \"" << *options.preset << "\"; see --help\n";
    return false;
  }
  SampleRate = rate;
  BufferSize = bufferSize;
  ApplyEchoSliders(*sliders);
  return true;
}
