#include "audio/engine_bindings.h"

#include "audio/panel_links.h"
#include "platform/thread/dispatcher.h"
#include "platform/waveaudio/wave_driver.h"

EngineBindings::EngineBindings(WaveDriver& driver, Dispatcher& gui, PanelLinks& panel) {
  InstallWaveDriver(&driver);
  SetGuiDispatcher(&gui);
  SetPanelLinks(&panel);
}

EngineBindings::~EngineBindings() {
  SetPanelLinks(nullptr);
  SetGuiDispatcher(nullptr);
  InstallWaveDriver(nullptr);
}
