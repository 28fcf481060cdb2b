// CPU used by the running engine: the pool, both streams and the echo thread on the virtual
// sound card's real-time clock, at the start-up settings (44100 Hz, multiplier 8, "Concert
// Hall 1"), measured with getrusage over the run. The card's own clock thread, which stands
// in for the sound server, is counted too, so the figure is an upper bound.
//
//   engine_bench [seconds]     (default 20)
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "audio/buffer_rules.h"
#include "audio/engine_state.h"
#include "audio/panel_links.h"
#include "audio/processor_power.h"
#include "echo/echo_process.h"
#include "echo/echo_rules.h"
#include "platform/thread/dispatcher.h"
#include "platform/waveaudio/virtual_driver.h"

namespace {

class BenchPanel final : public PanelLinks {
 public:
  int CaptureDeviceNumber() override { return 0; }
  int PlaybackDeviceNumber() override { return 0; }
  bool EchoActive() override { return echo; }
  void PaintProduceLed(TColor colour) override { passes += colour == clRed; }
  void AppendMemoLine(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }

  std::atomic<bool> echo{true};
  int passes = 0;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  SampleRate = 44100;
  BufferSize = BufferSizeFor(8, 44100);
  const EchoSliders sliders = ApplyPresetTo({}, *PresetAt(1), BufferSize, SampleRate);
  EchoDelay = sliders.delay * 2;
  EchoStep = EchoStepFor(sliders.repeats);
  EchoVolume = sliders.volume;

  VirtualDriver card(VirtualDriver::Clock::RealTime);
  card.AddCaptureDevice({.name = "Sine", .source = MakeSine(440, 8000)});
  card.AddPlaybackDevice();
  QueueDispatcher gui;
  BenchPanel panel;
  InstallWaveDriver(&card);
  SetGuiDispatcher(&gui);
  SetPanelLinks(&panel);
  EchoThreadSlot echo;

  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  PowerUpEngine(echo);
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds)) {
    gui.WaitAndPump(std::chrono::milliseconds(50));
  }
  panel.echo = false;
  WakeEchoThread();
  AwaitEchoEnd(echo, [&] { gui.Pump(); });
  PowerDownEngine();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuBefore;

  std::printf("engine on the real-time virtual card, 44100 Hz, multiplier 8, Concert Hall 1\n");
  std::printf("wall %.1f s, cpu %.3f s: %.2f%% of one core; %d echo passes; underflow %llu frames\n",
              wall, cpu, 100 * cpu / wall, panel.passes,
              static_cast<unsigned long long>(card.UnderflowFrames(0)));
  SetPanelLinks(nullptr);
  SetGuiDispatcher(nullptr);
  InstallWaveDriver(nullptr);
  return 0;
}
