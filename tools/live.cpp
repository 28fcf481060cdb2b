#include "tools/live.h"

#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <iomanip>

#include "audio/engine_state.h"
#include "audio/processor_power.h"
#include "echo/echo_process.h"
#include "platform/thread/dispatcher.h"
#include "platform/waveaudio/pulse_driver.h"
#include "tools/cli_panel.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) {
  interrupted = true;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

template <typename Caps, typename GetCaps>
void ListKind(const char* title, UINT count, GetCaps getCaps, std::ostream& out) {
  out << title << ":\n";
  if (count == 0) out << "  (none)\n";
  for (UINT id = 0; id < count; ++id) {
    Caps caps{};
    out << "  " << std::setw(2) << id << "  ";
    if (getCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR) {
      out << std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname)) << "\n";
    } else {
      out << "(cannot be read)\n";
    }
  }
}

}  // namespace

int ListDevices(const std::string& server, std::ostream& out) {
  PulseDriver driver(PulseDriver::Options{server});
  InstallWaveDriver(&driver);
  if (waveInGetNumDevs() == 0 && waveOutGetNumDevs() == 0) {
    out << "No sound server answers, or it has no devices.\n";
  }
  ListKind<WAVEINCAPSA>("Capture devices (--in)", waveInGetNumDevs(), &waveInGetDevCapsA, out);
  ListKind<WAVEOUTCAPSA>("Playback devices (--out)", waveOutGetNumDevs(), &waveOutGetDevCapsA, out);
  InstallWaveDriver(nullptr);
  return 0;
}

int RunLive(const LiveOptions& options, std::ostream& out, std::ostream& err) {
  if (!ConfigureEngine(options.engine, options.engine.rate.value_or(44100), err)) return 2;

  PulseDriver driver(PulseDriver::Options{options.server, options.latency});
  QueueDispatcher gui;
  CliPanel panel(options.capture, options.playback, options.engine.echo, &err);
  EngineBindings bindings(driver, gui, panel);
  EchoThreadSlot echo;

  interrupted = false;
  std::signal(SIGINT, &OnInterrupt);
  std::signal(SIGTERM, &OnInterrupt);
  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  PowerUpEngine(echo);
  out << "echora-cli: on at " << SampleRate << " Hz, " << BufferSize << " bytes a buffer"
      << (options.seconds ? "" : "; Ctrl-C to stop") << "\n"
      << std::flush;
  const auto limit = options.seconds ? std::chrono::duration<double>(*options.seconds)
                                     : std::chrono::duration<double>::max();
  while (!interrupted && std::chrono::steady_clock::now() - start < limit) {
    gui.WaitAndPump(std::chrono::milliseconds(100));
  }
  // Off in order: the echo thread gone, then capture, then playback, then the pool.
  panel.Untick();
  AwaitEchoEnd(echo, [&] { gui.Pump(); });
  PowerDownEngine();
  gui.Pump();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  out << std::fixed << std::setprecision(2) << "echora-cli: off after " << seconds << " s; "
      << panel.Passes() << " echo passes; " << driver.Underflows() << " underflows, "
      << driver.Overflows() << " overflows; CPU " << 100 * (CpuSeconds() - cpuBefore) / seconds
      << "% of one core\n";
  return panel.Reports().empty() ? 0 : 1;
}
