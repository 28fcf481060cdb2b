#include "echo/processor_power.h"

#include "audio/buffer_pool.h"
#include "audio/panel_links.h"
#include "audio/streams.h"
#include "echo/echo_process.h"
#include "platform/waveaudio/wave_driver.h"

void PowerUpEngine(EchoThreadHolder& echo) {
  const WaveDeviceSnapshot devices;  // both opens from one listing of the devices
  AllocateBuffers();
  if (!BuffersAllocated()) {
    Panel().AppendMemoLine(kPowerOnGivenUp);
    return;
  }
  StartCapture();
  StartPlayback();
  echo.StartIfWanted();
}

void AwaitEchoEnd(EchoThreadHolder& echo, const std::function<void()>& processMessages) {
  // Asked again on every round: "Echo active" stays enabled during the wait, and a tick
  // that lands after the thread has left starts a new one, which must end too.
  do {
    echo.Terminate();
    processMessages();
  } while (echo.Running());
}

void PowerDownEngine() {
  // Without a pool the power-on started nothing, so there is nothing to stop.
  if (BuffersAllocated()) {
    StopCapture();
    StopPlayback();
  }
  FreeBuffers();
}
