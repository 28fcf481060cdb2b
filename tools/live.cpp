#include "tools/live.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <iomanip>

#include "audio/engine_bindings.h"
#include "audio/engine_state.h"
#include "echo/echo_process.h"
#include "echo/processor_power.h"
#include "platform/thread/dispatcher.h"
#include "platform/thread/process_cpu.h"
#include "platform/thread/realtime.h"
#include "platform/waveaudio/pulse_driver.h"
#include "tools/cli_panel.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) {
  interrupted = true;
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

int ListDevices(const std::string& server, std::ostream& out, std::ostream& err) {
  PulseDriver::Options options;
  options.server = server;
  PulseDriver driver(options);
  InstallWaveDriver(&driver);
  const WaveDeviceSnapshot devices;
  const UINT ins = waveInGetNumDevs();
  const UINT outs = waveOutGetNumDevs();
  const std::string failure = WaveDriverFailure();
  if (ins == 0 && outs == 0 && !failure.empty()) {
    err << "echora-cli: " << failure << "\n";
  } else {
    ListKind<WAVEINCAPSA>("Capture devices (--in)", ins, &waveInGetDevCapsA, out);
    ListKind<WAVEOUTCAPSA>("Playback devices (--out)", outs, &waveOutGetDevCapsA, out);
  }
  InstallWaveDriver(nullptr);
  return failure.empty() || ins + outs > 0 ? 0 : 1;
}

namespace {

// The device pair for a run: the numbers asked for, or the server's defaults. Says in plain
// words what stands in the way; returns the exit status to end with, 0 to go on.
int ChooseDevices(const LiveOptions& options, PulseDriver& driver, int& capture, int& playback,
                  std::ostream& err) {
  InstallWaveDriver(&driver);
  const WaveDeviceSnapshot devices;
  const UINT ins = waveInGetNumDevs();
  const UINT outs = waveOutGetNumDevs();
  int status = 0;
  if (ins == 0 && outs == 0 && !WaveDriverFailure().empty()) {
    err << "echora-cli: " << WaveDriverFailure() << "\n";
    status = 1;
  } else {
    capture = options.capture.value_or(
        static_cast<int>(driver.DefaultDevice(WaveDirection::Capture).value_or(0)));
    playback = options.playback.value_or(
        static_cast<int>(driver.DefaultDevice(WaveDirection::Playback).value_or(0)));
    // A device asked for by number that is not there ends the run before anything is
    // opened; a missing default is left to the engine, whose own lines then say what failed.
    if (static_cast<UINT>(capture) >= ins) {
      err << "echora-cli: no capture device " << capture << "; `echora-cli devices` lists them\n";
      if (options.capture) status = 1;
    }
    if (static_cast<UINT>(playback) >= outs) {
      err << "echora-cli: no playback device " << playback << "; `echora-cli devices` lists them\n";
      if (options.playback) status = 1;
    }
    if (status == 0 && driver.Loops(static_cast<UINT>(capture), static_cast<UINT>(playback))) {
      err << "echora-cli: capture device " << capture << " records playback device " << playback
          << ": what is played would be echoed again and again, louder each time; choose "
             "another pair with --in and --out (`echora-cli devices` lists them)\n";
      status = 2;
    }
  }
  InstallWaveDriver(nullptr);
  return status;
}

}  // namespace

int RunLive(const LiveOptions& options, std::ostream& out, std::ostream& err) {
  if (!ConfigureEngine(options.engine, options.engine.rate.value_or(44100), err)) return 2;
  const auto period = std::chrono::milliseconds(1000LL * (BufferSize / 4) / SampleRate);
  if (options.latency && *options.latency > period) {
    err << "echora-cli: --latency-ms " << options.latency->count()
        << " is longer than a buffer period (" << period.count() << " ms at " << SampleRate
        << " Hz with this multiplier); at most " << period.count() << "\n";
    return 2;
  }

  PulseDriver::Options driverOptions;
  driverOptions.server = options.server;
  driverOptions.latency = options.latency;
  PulseDriver driver(driverOptions);
  int capture = 0;
  int playback = 0;
  if (int status = ChooseDevices(options, driver, capture, playback, err)) return status;
  QueueDispatcher gui;
  CliPanel panel(capture, playback, options.engine.echo, &err);
  EngineBindings bindings(driver, gui, panel);
  EchoThreadHolder echo;

  interrupted = false;
  const auto previousInt = std::signal(SIGINT, &OnInterrupt);
  const auto previousTerm = std::signal(SIGTERM, &OnInterrupt);
  const double cpuBefore = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  // The threads the sound depends on ask for real time as they start; the outcome is
  // reported once the engine is off.
  EnableRealtimeScheduling([](const std::string&) {});
  PowerUpEngine(echo);
  out << "echora-cli: on at " << SampleRate << " Hz, " << BufferSize << " bytes a buffer"
      << (options.seconds ? "" : "; Ctrl-C to stop") << "\n"
      << std::flush;
  const auto limit = options.seconds ? std::chrono::duration<double>(*options.seconds)
                                     : std::chrono::duration<double>::max();
  bool streamsEnded = false;
  while (!interrupted && std::chrono::steady_clock::now() - start < limit) {
    // Looked at before the engine's lines are let out, so that the cause comes first.
    gui.Wait(std::chrono::milliseconds(250));
    if (!driver.StreamsAlive()) {
      streamsEnded = true;
      break;
    }
    gui.Pump();
  }
  if (streamsEnded) {
    const std::string failure = driver.LastFailure();
    err << "echora-cli: both streams have ended" << (failure.empty() ? "" : ": " + failure)
        << "; switching off\n";
  }
  // Off in order: the echo thread gone, then capture, then playback, then the pool.
  panel.Untick();
  AwaitEchoEnd(echo, [&] { gui.Pump(); });
  PowerDownEngine();
  const std::string realtime = RealtimeOutcomeLine();
  DisableRealtimeScheduling();
  gui.Pump();

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!realtime.empty()) out << "echora-cli: " << realtime << "\n";
  out << std::fixed << std::setprecision(2) << "echora-cli: off after " << seconds << " s; "
      << panel.Passes() << " echo passes, " << driver.PassesOutOfTurn() << " out of turn; "
      << driver.Underflows() << " underflows, " << driver.Overflows() << " overflows; CPU "
      << 100 * (ProcessCpuSeconds() - cpuBefore) / seconds << "% of one core\n"
      << std::flush;
  // Only now: a second Ctrl-C meanwhile must not end the program before its report.
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  return panel.Reports().empty() && !streamsEnded ? 0 : 1;
}
