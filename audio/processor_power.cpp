#include "audio/processor_power.h"

#include "audio/buffer_pool.h"
#include "audio/streams.h"
#include "echo/echo_process.h"

void PowerUpEngine(EchoThreadSlot& echo) {
  AllocateBuffers();
  StartCapture();
  StartPlayback();
  echo.StartIfWanted();
}

void AwaitEchoEnd(EchoThreadSlot& echo, const std::function<void()>& processMessages) {
  echo.Terminate();
  do {
    processMessages();
  } while (echo.Running());
}

void PowerDownEngine() {
  StopCapture();
  StopPlayback();
  FreeBuffers();
}
