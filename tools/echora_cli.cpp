// echora-cli: the processor without its window.
#include <charconv>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "audio/buffer_rules.h"
#include "echo/echo_rules.h"
#include "tools/render.h"

namespace {

constexpr int kUsageError = 2;

void PrintHelp(std::ostream& out) {
  out << R"(Usage: echora-cli render INPUT.wav OUTPUT.wav [options]

Runs the sound processor's own engine (the eight-buffer pool, the capture and
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

  --help               show this text

Exit status: 0 done; 1 the output could not be written or the engine reported a
failure; 2 bad options, or an input that is missing, unreadable, not 16-bit stereo
PCM or truncated. On failure no output file is left behind.
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

int RunRender(int argc, char** argv) {
  RenderOptions options;
  int positional = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto number = [&](std::int32_t lo, std::int32_t hi, std::int32_t& out) {
      if (i + 1 >= argc) return false;
      return ParseInt(argv[++i], out) && out >= lo && out <= hi;
    };
    std::int32_t v = 0;
    if (arg == "--preset") {
      if (i + 1 >= argc) return Usage("--preset needs a name");
      options.preset = argv[++i];
      if (PresetIndex(*options.preset) < 0) {
        return Usage("unknown preset \"" + *options.preset + "\"");
      }
    } else if (arg == "--delay-ms") {
      if (!number(0, 100000, v)) return Usage("--delay-ms needs milliseconds, 0 to 100000");
      options.delayMs = v;
    } else if (arg == "--repeats") {
      if (!number(0, 10, v)) return Usage("--repeats needs a number from 0 to 10");
      options.repeats = v;
    } else if (arg == "--volume") {
      if (!number(1, 5000, v)) return Usage("--volume needs a percentage from 1 to 5000");
      options.volume = v;
    } else if (arg == "--rate") {
      if (!number(1, 1000000, v) || !IsSelectableRate(v)) {
        return Usage("--rate needs one of the processor's rates");
      }
      options.rate = v;
    } else if (arg == "--multiplier") {
      if (!number(kMinMultiplier, kMaxMultiplier, v)) {
        return Usage("--multiplier needs a number from 2 to 99");
      }
      options.multiplier = v;
    } else if (arg == "--no-echo") {
      options.echo = false;
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
  return Usage("unknown command " + std::string(command));
}
