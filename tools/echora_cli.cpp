// echora-cli: the processor without its window.
#include <charconv>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "audio/buffer_rules.h"
#include "echo/echo_rules.h"
#include "tools/live.h"
#include "tools/render.h"

namespace {

constexpr int kUsageError = 2;

void PrintHelp(std::ostream& out) {
  out << R"(Usage: echora-cli render INPUT.wav OUTPUT.wav [options]
       echora-cli devices [--server ADDRESS]
       echora-cli live [--in N] [--out M] [--seconds S] [options]

render: runs the sound processor's own engine (the eight-buffer pool, the capture and
playback streams and the echo thread) on a virtual sound card: the capture device
hears INPUT.wav from the start of the first buffer period, and what the playback
device plays is written to OUTPUT.wav as 16-bit stereo PCM.

INPUT.wav must be 16-bit stereo PCM.

Echo settings (start: the preset "Concert Hall 1"; the options below apply in the
order preset, repeats, delay, volume):
  --preset NAME        one of the presets:
)";
  for (const Preset& p : kPresets) {
    out << "                         \"" << p.name << "\" (" << p.delayMs << " ms, " << p.echoes
        << " repeats, volume " << p.volume << "%)\n";
  }
  out << R"(  --delay-ms MS        delay of the first echo in milliseconds; held at the
                       longest the buffer allows for the repeats (buffer bytes
                       / taps / 4 frames)
  --repeats N          repeats beyond the direct sound, 0 to 10
  --volume PERCENT     output gain in percent, 1 to 5000 (100 = unchanged)
  --no-echo            run without the echo thread: the sound passes unchanged

Engine settings:
  --rate HZ            sample rate; default: the input's. One of 5510, 6620, 8000,
                       9600, 11025, 16000, 18900, 22050, 27420, 32000, 33075, 37800,
                       44100. An input at another rate is resampled linearly.
  --multiplier M       buffer multiplier, 2 to 99 (default 8): a buffer holds M x
                       rate bytes, about M/4 seconds; lowered until a buffer fits
                       441000 bytes, as the window does.

Output:
  By default OUTPUT.wav is aligned with the input and as long as it: the fixed
  latency of four buffer periods is removed and the tail is flushed. Because the
  engine starts as it does at the first power-on of the program:
    - the first buffer period of the output is silence (the engine drops the
      first period it captures);
    - the second period has the echo applied twice (the engine passes buffer 0
      twice, the first time reading ahead into itself);
    - from the third period on, every sample is the echo of the input exactly:
      each buffer is rewritten from itself and the period after it.
  --device-stream      write exactly what the playback device received instead:
                       four periods of silence first, then the output above,
                       with the tail up to a whole period.

devices: lists the capture devices (the sound server's sources, monitors of its
sinks included) and the playback devices (its sinks), with the numbers --in and
--out take.

live: runs the engine on real devices, from capture device N (default 0) to
playback device M (default 0), at 44100 Hz unless --rate says otherwise, until
the time is up or Ctrl-C; then switches it off in order (echo thread, capture,
playback, pool) and reports underflows, overflows and CPU.
  --seconds S          stop after S seconds
  --latency-ms MS      what each stream asks the server to buffer (default 40)
  --server ADDRESS     a sound server other than the user's (also for devices)

  --help               show this text

Exit status: 0 done; 1 the output could not be written or the engine reported a
failure; 2 bad options, or an input that is missing, unreadable, not 16-bit stereo
PCM or truncated. On failure render leaves no output file behind.
)";
}

bool ParseInt(std::string_view text, std::int32_t& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

int Usage(const std::string& problem) {
  std::cerr << "echora-cli: " << problem << " (see echora-cli --help)\n";
  return kUsageError;
}

// Takes one of the options every command shares, at argv[i]; true when it was one. Sets
// `error` for a bad value.
bool EngineOption(int argc, char** argv, int& i, EngineOptions& options, std::string& error) {
  const std::string_view arg = argv[i];
  auto number = [&](std::int32_t lo, std::int32_t hi, std::int32_t& out) {
    return i + 1 < argc && ParseInt(argv[++i], out) && out >= lo && out <= hi;
  };
  std::int32_t v = 0;
  if (arg == "--preset") {
    if (i + 1 >= argc) {
      error = "--preset needs a name";
    } else if (options.preset = argv[++i]; PresetIndex(*options.preset) < 0) {
      error = "unknown preset \"" + *options.preset + "\"";
    }
  } else if (arg == "--delay-ms") {
    if (!number(0, 100000, v)) error = "--delay-ms needs milliseconds, 0 to 100000";
    options.delayMs = v;
  } else if (arg == "--repeats") {
    if (!number(0, 10, v)) error = "--repeats needs a number from 0 to 10";
    options.repeats = v;
  } else if (arg == "--volume") {
    if (!number(1, 5000, v)) error = "--volume needs a percentage from 1 to 5000";
    options.volume = v;
  } else if (arg == "--rate") {
    if (!number(1, 1000000, v) || !IsSelectableRate(v)) {
      error = "--rate needs one of the processor's rates";
    }
    options.rate = v;
  } else if (arg == "--multiplier") {
    if (!number(kMinMultiplier, kMaxMultiplier, v)) {
      error = "--multiplier needs a number from 2 to 99";
    }
    options.multiplier = v;
  } else if (arg == "--no-echo") {
    options.echo = false;
  } else {
    return false;
  }
  return true;
}

int RunRender(int argc, char** argv) {
  RenderOptions options;
  int positional = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::string error;
    if (EngineOption(argc, argv, i, options.engine, error)) {
      if (!error.empty()) return Usage(error);
    } else if (arg == "--device-stream") {
      options.deviceStream = true;
    } else if (arg.starts_with("--")) {
      return Usage("unknown option " + std::string(arg));
    } else if (positional == 0) {
      options.input = arg;
      ++positional;
    } else if (positional == 1) {
      options.output = arg;
      ++positional;
    } else {
      return Usage("too many files");
    }
  }
  if (positional != 2) return Usage("render needs an input and an output file");
  return Render(options, std::cerr);
}

int RunDevices(int argc, char** argv) {
  std::string server;
  for (int i = 0; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--server" && i + 1 < argc) {
      server = argv[++i];
    } else {
      return Usage("unknown option " + std::string(argv[i]));
    }
  }
  return ListDevices(server, std::cout);
}

int RunLiveCommand(int argc, char** argv) {
  LiveOptions options;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::string error;
    std::int32_t v = 0;
    auto number = [&](std::int32_t lo, std::int32_t hi) {
      return i + 1 < argc && ParseInt(argv[++i], v) && v >= lo && v <= hi;
    };
    if (EngineOption(argc, argv, i, options.engine, error)) {
      if (!error.empty()) return Usage(error);
    } else if (arg == "--in") {
      if (!number(0, 1000)) return Usage("--in needs a capture device number");
      options.capture = v;
    } else if (arg == "--out") {
      if (!number(0, 1000)) return Usage("--out needs a playback device number");
      options.playback = v;
    } else if (arg == "--seconds") {
      if (!number(1, 1000000)) return Usage("--seconds needs a whole number of seconds");
      options.seconds = v;
    } else if (arg == "--latency-ms") {
      if (!number(5, 2000)) return Usage("--latency-ms needs 5 to 2000 milliseconds");
      options.latency = std::chrono::milliseconds(v);
    } else if (arg == "--server" && i + 1 < argc) {
      options.server = argv[++i];
    } else {
      return Usage("unknown option " + std::string(arg));
    }
  }
  return RunLive(options, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no command");
  const std::string_view command = argv[1];
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHelp(std::cout);
      return 0;
    }
  }
  if (command == "render") return RunRender(argc - 2, argv + 2);
  if (command == "devices") return RunDevices(argc - 2, argv + 2);
  if (command == "live") return RunLiveCommand(argc - 2, argv + 2);
  return Usage("unknown command " + std::string(command));
}
