// CPU used by the running engine: the pool, both streams and the echo thread on the virtual
// sound card's real-time clock, at the start-up settings (44100 Hz, multiplier 8, "Concert
// Hall 1"), measured with getrusage over the run. The card's own clock thread, which stands
// in for the sound server, is counted too, so the figure is an upper bound.
//
//   engine_bench [seconds]     (default 20)
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/buffer_rules.h"
#include "audio/engine_bindings.h"
#include "audio/engine_state.h"
#include "audio/panel_links.h"
#include "echo/echo_process.h"
#include "echo/echo_rules.h"
#include "echo/echo_settings.h"
#include "echo/processor_power.h"
#include "platform/thread/dispatcher.h"
#include "platform/thread/process_cpu.h"
#include "platform/waveaudio/virtual_driver.h"

namespace {

class BenchPanel final : public PanelLinks {
 public:
  int CaptureDeviceNumber() override { return 0; }
  int PlaybackDeviceNumber() override { return 0; }
  bool EchoActive() override { return echo; }
  void PaintProduceLed(TColor colour) override { passes += colour == clRed; }
  void AppendMemoLine(const std::string& line) override {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }

  std::atomic<bool> echo{true};
  int passes = 0;
};

// CPU seconds of the card's clock thread, which does the work a sound server would.
double CardSeconds() {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::string name;
    std::getline(std::ifstream(task.path() / "comm"), name);
    if (name != "vcard-clock") continue;
    std::ifstream stat(task.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i >= 14) ticks += std::stod(field);
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  SampleRate = 44100;
  BufferSize = BufferSizeFor(8, 44100);
  ApplyEchoSliders(ApplyPresetTo({}, StartupPreset(), BufferSize, SampleRate));

  VirtualDriver device(VirtualDriver::Clock::RealTime);
  // One cycle of a 441 Hz tone, looped: the card replays it rather than computing it.
  std::vector<std::int16_t> cycle;
  for (int j = 0; j < 100; ++j) {
    const auto v = static_cast<std::int16_t>(8000 * std::sin(2 * 3.14159265358979 * j / 100));
    cycle.insert(cycle.end(), {v, v});
  }
  device.AddCaptureDevice({.name = "Tone", .source = MakeTestVector(cycle, true)});
  device.AddPlaybackDevice();
  QueueDispatcher gui;
  BenchPanel panel;
  const EngineBindings bindings(device, gui, panel);
  EchoThreadHolder echo;

  const double cpuBefore = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  PowerUpEngine(echo);
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds)) {
    gui.WaitAndPump(std::chrono::milliseconds(500));
  }
  const double card = CardSeconds();
  panel.echo = false;
  WakeEchoThread();
  AwaitEchoEnd(echo, [&] { gui.Pump(); });
  PowerDownEngine();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = ProcessCpuSeconds() - cpuBefore;

  std::printf("engine on the real-time virtual card, 44100 Hz, multiplier 8, Concert Hall 1\n");
  std::printf("wall %.1f s, cpu %.3f s: %.2f%% of one core in all\n", wall, cpu, 100 * cpu / wall);
  std::printf("  the card's clock thread (the sound server's part): %.2f%%\n", 100 * card / wall);
  std::printf("  the engine (GUI, service and echo threads): %.2f%%\n", 100 * (cpu - card) / wall);
  std::printf("%d echo passes; underflow %llu frames\n", panel.passes,
              static_cast<unsigned long long>(device.UnderflowFrames(0)));
  return 0;
}
