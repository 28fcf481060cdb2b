#include "echo/echo_settings.h"

#include "audio/engine_state.h"

void ApplyEchoDelay(std::int32_t delayPosition) {
  EchoDelay = EchoDelayFor(delayPosition);
}

void ApplyEchoRepeats(std::int32_t repeatsPosition) {
  EchoStep = EchoStepFor(repeatsPosition);
}

void ApplyEchoVolume(std::int32_t volumePosition) {
  EchoVolume = volumePosition;
}

void ApplyEchoSliders(const EchoSliders& sliders) {
  ApplyEchoDelay(sliders.delay);
  ApplyEchoRepeats(sliders.repeats);
  ApplyEchoVolume(sliders.volume);
}
