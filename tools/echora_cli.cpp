// echora-cli: the processor without its window. Every command and option is declared once
// below; CLI11 derives the parsing, the checks and the help from that declaration.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "audio/buffer_rules.h"
#include "echo/echo_rules.h"
#include "platform/waveaudio/pulse_driver.h"
#include "tools/cli_checks.h"
#include "tools/live.h"
#include "tools/render.h"

namespace {

constexpr int kUsageError = 2;

// CLI11 does not wrap descriptions: commands get lines this wide, options (whose column
// starts further right) a narrower one, so that the help fits 80 columns.
constexpr std::size_t kCommandWidth = 72;
constexpr std::size_t kOptionWidth = 50;

std::string Wrap(const std::string& text, std::size_t width) {
  std::istringstream words(text);
  std::string wrapped;
  std::string line;
  for (std::string word; words >> word;) {
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      wrapped += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  return wrapped + line;
}

std::string PresetList() {
  std::ostringstream out;
  out << "Presets (--preset):";
  for (const Preset& p : kPresets) {
    out << "\n  \"" << p.name << "\" (" << p.delayMs << " ms, " << p.echoes << " repeats, volume "
        << p.volume << "%)";
  }
  return out.str();
}

// An option with a value: the value must not look like another option, then pass `check`.
template <typename T, typename Set>
CLI::Option* ValueOption(CLI::App& command, const std::string& name, Set set,
                         const std::string& help, const std::string& valueName,
                         const CLI::Validator& check) {
  return command.add_option_function<T>(name, set, help)
      ->check(kNotAnOption)
      ->option_text(valueName)
      ->check(check);
}

// The echo and engine settings every command that runs the engine takes.
void AddEngineOptions(CLI::App& command, EngineOptions& options, const char* rateDefault) {
  ValueOption<std::string>(
      command, "--preset", [&options](const std::string& name) { options.preset = name; },
      "one of the presets listed below", "NAME", PresetName());
  ValueOption<std::int32_t>(
      command, "--delay-ms", [&options](std::int32_t ms) { options.delayMs = ms; },
      "delay of the first echo in milliseconds; held at the longest the buffer allows for "
      "the repeats (buffer bytes / taps / 4 frames), with a note",
      "MS", WholeNumber(0, std::numeric_limits<std::int32_t>::max()));
  ValueOption<std::int32_t>(
      command, "--repeats", [&options](std::int32_t n) { options.repeats = n; },
      "repeats beyond the direct sound, 0 to " + std::to_string(kMaxRepeatsPosition - 1), "N",
      WholeNumber(0, kMaxRepeatsPosition - 1));
  ValueOption<std::int32_t>(
      command, "--volume", [&options](std::int32_t percent) { options.volume = percent; },
      "output gain in percent, 1 to " + std::to_string(kVolumeLimit) + " (100 = unchanged)",
      "PERCENT", WholeNumber(1, kVolumeLimit));
  command.add_flag_callback(
      "--no-echo", [&options] { options.echo = false; },
      "run without the echo thread: the sound passes unchanged");

  std::string rates;
  for (std::int32_t rate : kSampleRates)
    rates += (rates.empty() ? "" : ", ") + std::to_string(rate);
  ValueOption<std::int32_t>(
      command, "--rate", [&options](std::int32_t hz) { options.rate = hz; },
      std::string("sample rate; default: ") + rateDefault + ". One of " + rates, "HZ",
      ProcessorRate());
  ValueOption<std::int32_t>(
      command, "--multiplier", [&options](std::int32_t m) { options.multiplier = m; },
      "buffer multiplier, " + std::to_string(kMinMultiplier) + " to " +
          std::to_string(kMaxMultiplier) +
          " (default 8): a buffer holds M x rate bytes, about M/4 seconds; lowered until a "
          "buffer fits " +
          std::to_string(kMaxBufferSize) + " bytes, as the window does",
      "M", WholeNumber(kMinMultiplier, kMaxMultiplier));
}

constexpr const char* kRenderNotes =
    R"(The input is any sound file libsndfile reads (WAV of any common sample format,
RF64, AIFF, FLAC, Ogg/Vorbis, Opus), mono or stereo; a FIFO, or "-" for standard
input, is read as it comes. It is read as far as its sound really goes: one that
ends before its header says renders what it holds, with a note. An input at
another rate than --rate is converted with libsoxr; without --rate, one at a rate
the processor lacks is converted to the nearest rate it has, with a note.

The output is plain PCM WAV (RF64 past 4 GiB, with a note), or FLAC when its name
ends in ".flac"; "-", /dev/stdout or /dev/fd/N is standard output or that
descriptor. A regular file is replaced only once the render is complete, keeping
its mode; symbolic links are followed; a file with other hard links ends with
either its old or its new sound; a device or FIFO is written in place. A name
that begins with a dash goes after "--".

By default OUTPUT is aligned with the input and as long as it: the fixed latency
of four buffer periods is removed and the tail is flushed. Because the engine
starts as it does at the first power-on of the program:
  - the first buffer period of the output is silence (the engine drops the
    first period it captures);
  - the second period has the echo applied twice (the engine passes buffer 0
    twice, the first time reading ahead into itself);
  - from the third period on, every sample is the echo of the input exactly:
    each buffer is rewritten from itself and the period after it.
The echo settings start from the preset "Concert Hall 1" and apply in the order
preset, repeats, delay, volume.)";

constexpr const char* kExitStatus =
    R"(Exit status: 0 done; 1 the output could not be written or the engine reported a
failure; 2 bad options, or an input that is missing, unusable or holds no sound. On
failure or interruption (Ctrl-C, SIGTERM) render leaves no unfinished output behind.)";

constexpr const char* kDevicesExitStatus =
    "Exit status: 0 listed; 1 no sound server answers; 2 bad options.";

constexpr const char* kLiveExitStatus =
    R"(Exit status: 0 switched off in order; 1 a device given is missing, no sound server
answers, or the engine reported a failure; 2 bad options, or a pair of devices that
would feed back.)";

CLI::App* AddRender(CLI::App& app, RenderOptions& render) {
  CLI::App* command = app.add_subcommand(
      "render",
      "runs the sound processor's own engine (the eight-buffer pool, the capture and "
      "playback streams and the echo thread) on a virtual sound card: the capture device "
      "hears INPUT from the start of the first buffer period, and what the playback device "
      "plays is written to OUTPUT as 16-bit stereo");
  command->add_option("INPUT", render.input, "the sound file to process")->required();
  command->add_option("OUTPUT", render.output, "where the processed sound goes")->required();
  AddEngineOptions(*command, render.engine, "the input's");
  command->add_flag(
      "--device-stream", render.deviceStream,
      "write exactly what the playback device received instead: four periods of silence "
      "first, then the aligned output, with the tail up to a whole period");
  command->footer(PresetList() + "\n\n" + kRenderNotes + "\n\n" + kExitStatus);
  return command;
}

CLI::App* AddDevices(CLI::App& app, std::string& server) {
  CLI::App* command = app.add_subcommand(
      "devices",
      "lists the capture devices (the sound server's sources, monitors of its sinks "
      "included) and the playback devices (its sinks), with the numbers --in and --out take");
  ValueOption<std::string>(
      *command, "--server", [&server](const std::string& address) { server = address; },
      "a sound server other than the user's", "ADDRESS", CLI::Validator());
  command->footer(kDevicesExitStatus);
  return command;
}

CLI::App* AddLive(CLI::App& app, LiveOptions& live) {
  CLI::App* command = app.add_subcommand(
      "live",
      "runs the engine on real devices until the time is up or Ctrl-C; then switches it off "
      "in order (echo thread, capture, playback, pool) and reports passes out of turn, "
      "underflows, overflows "
      "and CPU");
  const auto deviceNumber = WholeNumber(0, std::numeric_limits<std::int32_t>::max());
  ValueOption<int>(
      *command, "--in", [&live](int n) { live.capture = n; },
      "capture device number (default: the server's default source)", "N", deviceNumber);
  ValueOption<int>(
      *command, "--out", [&live](int n) { live.playback = n; },
      "playback device number (default: the server's default sink)", "M", deviceNumber);
  ValueOption<double>(
      *command, "--seconds", [&live](double seconds) { live.seconds = seconds; },
      "stop after this many seconds", "S", kAboveZero);
  ValueOption<int>(
      *command, "--latency-ms", [&live](int ms) { live.latency = std::chrono::milliseconds(ms); },
      "what each stream asks the server to buffer, " + std::to_string(kMinLatencyMs) + " to " +
          std::to_string(kMaxLatencyMs) +
          " and at most a buffer period (default: a tenth of a buffer period, " +
          std::to_string(PulseDriver::kMinLatency.count()) + " to " +
          std::to_string(PulseDriver::kMaxLatency.count()) + ")",
      "MS", WholeNumber(kMinLatencyMs, kMaxLatencyMs));
  ValueOption<std::string>(
      *command, "--server", [&live](const std::string& address) { live.server = address; },
      "a sound server other than the user's", "ADDRESS", CLI::Validator());
  AddEngineOptions(*command, live.engine, "44100");
  command->footer(PresetList() + "\n\n" + kLiveExitStatus);
  return command;
}

// CLI11's messages for what it checks itself, in the words of the rest. `command` is the
// one being parsed, if any.
std::string Plain(const CLI::ParseError& e, const CLI::App* command) {
  std::string text = e.what();
  if (command == nullptr) return "a command is needed: render, devices or live";
  if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
    for (const char* prefix : {"The following arguments were not expected: ",
                               "The following argument was not expected: "}) {
      if (text.starts_with(prefix)) text.erase(0, std::string_view(prefix).size());
    }
    return "unexpected \"" + text + "\": " + command->get_name() +
           (command->get_name() == "render" ? " takes one INPUT and one OUTPUT"
                                            : " takes no file names");
  }
  if (text.ends_with(" is required")) return text.substr(0, text.size() - 12) + " is missing";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("echora-cli: the sound processor's engine without its window.", "echora-cli");
  // --help shows every command with its options; a command's own --help, just that one.
  app.set_help_flag();
  app.set_help_all_flag("-h,--help", "show this text");
  app.set_version_flag("-V,--version", "echora-cli " ECHORA_VERSION, "show the version");
  app.require_subcommand(1);
  app.get_formatter()->column_width(26);

  RenderOptions render;
  std::string devicesServer;
  LiveOptions live;
  CLI::App* renderCommand = AddRender(app, render);
  CLI::App* devicesCommand = AddDevices(app, devicesServer);
  AddLive(app, live);
  for (CLI::App* command : app.get_subcommands({})) {
    command->set_help_all_flag();
    command->set_help_flag("-h,--help", "show the help of this command");
    command->description(Wrap(command->get_description(), kCommandWidth));
    for (CLI::Option* option : command->get_options()) {
      option->description(Wrap(option->get_description(), kOptionWidth));
    }
  }

  // "help", as many programs take it, is --help.
  if (argc == 2 && std::string(argv[1]) == "help") {
    std::cout << app.help("", CLI::AppFormatMode::All) << renderCommand->get_footer() << "\n";
    return 0;
  }
  if (const std::optional<std::string> unknown = UnknownWord(app, argc, argv)) {
    std::cerr << "echora-cli: " << *unknown << "\n";
    return kUsageError;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForAllHelp&) {
    // Every command with its options, then what render's own help says after them.
    std::cout << app.help("", CLI::AppFormatMode::All) << renderCommand->get_footer() << "\n";
    return 0;
  } catch (const CLI::CallForVersion& version) {
    std::cout << version.what() << '\n';
    return 0;
  } catch (const CLI::CallForHelp&) {
    for (const CLI::App* command : app.get_subcommands()) std::cout << command->help();
    return 0;
  } catch (const CLI::ParseError& e) {
    const CLI::App* command = app.get_subcommands().empty() ? nullptr : app.get_subcommands()[0];
    std::cerr << "echora-cli: " << Plain(e, command) << " (see echora-cli "
              << (command ? command->get_name() + " " : "") << "--help)\n";
    return kUsageError;
  }

  if (renderCommand->parsed()) {
    render.progress = isatty(STDERR_FILENO) != 0;
    return Render(render, std::cerr);
  }
  if (devicesCommand->parsed()) return ListDevices(devicesServer, std::cout, std::cerr);
  return RunLive(live, std::cout, std::cerr);
}
