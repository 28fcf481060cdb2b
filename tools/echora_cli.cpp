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

// CLI11 hands an option the next word as its value whatever it looks like, so that
// `--server --seconds 2` would talk to a server named "--seconds". Every option's first check
// refuses that. A minus sign before a digit is left to the range checks.
const CLI::Validator kNotAnOption(
    [](const std::string& value) -> std::string {
      const bool looksLikeOption =
          value.size() > 1 && value[0] == '-' &&
          (value[1] == '-' || !std::isdigit(static_cast<unsigned char>(value[1])));
      return looksLikeOption ? "needs a value before the option " + value : "";
    },
    "");

// CLI11's own check of a positive number names the largest double in its message.
const CLI::Validator kAboveZero(
    [](const std::string& value) -> std::string {
      double number = 0;
      return CLI::detail::lexical_cast(value, number) && number > 0 ? "" : "needs a number above 0";
    },
    "");

std::vector<std::string> PresetNames() {
  std::vector<std::string> names;
  for (const Preset& p : kPresets) names.emplace_back(p.name);
  return names;
}

// The echo and engine settings every command that runs the engine takes.
void AddEngineOptions(CLI::App& command, EngineOptions& options, const char* rateDefault) {
  command
      .add_option_function<std::string>(
          "--preset", [&options](const std::string& name) { options.preset = name; },
          "one of the presets listed below")
      ->check(kNotAnOption)
      ->option_text("NAME")
      ->check(CLI::IsMember(PresetNames()).description(""));
  command
      .add_option_function<std::int32_t>(
          "--delay-ms", [&options](std::int32_t ms) { options.delayMs = ms; },
          "delay of the first echo in milliseconds; held at the longest the buffer allows for "
          "the repeats (buffer bytes / taps / 4 frames), with a note")
      ->check(kNotAnOption)
      ->option_text("MS")
      ->check(CLI::Range(0, std::numeric_limits<std::int32_t>::max()).description(""));
  command
      .add_option_function<std::int32_t>(
          "--repeats", [&options](std::int32_t n) { options.repeats = n; },
          "repeats beyond the direct sound, 0 to " + std::to_string(kMaxRepeatsPosition - 1))
      ->check(kNotAnOption)
      ->option_text("N")
      ->check(CLI::Range(0, kMaxRepeatsPosition - 1).description(""));
  command
      .add_option_function<std::int32_t>(
          "--volume", [&options](std::int32_t percent) { options.volume = percent; },
          "output gain in percent, 1 to " + std::to_string(kVolumeLimit) + " (100 = unchanged)")
      ->check(kNotAnOption)
      ->option_text("PERCENT")
      ->check(CLI::Range(1, kVolumeLimit).description(""));
  command.add_flag_callback(
      "--no-echo", [&options] { options.echo = false; },
      "run without the echo thread: the sound passes unchanged");

  std::string rates;
  for (std::int32_t rate : kSampleRates)
    rates += (rates.empty() ? "" : ", ") + std::to_string(rate);
  command
      .add_option_function<std::int32_t>(
          "--rate", [&options](std::int32_t hz) { options.rate = hz; },
          std::string("sample rate; default: ") + rateDefault + ". One of " + rates)
      ->check(kNotAnOption)
      ->option_text("HZ")
      ->check(CLI::IsMember(std::vector<std::int32_t>(kSampleRates.begin(), kSampleRates.end()))
                  .description(""));
  command
      .add_option("--multiplier", options.multiplier,
                  "buffer multiplier, " + std::to_string(kMinMultiplier) + " to " +
                      std::to_string(kMaxMultiplier) +
                      " (default 8): a buffer holds M x rate bytes, about M/4 seconds; lowered "
                      "until a buffer fits " +
                      std::to_string(kMaxBufferSize) + " bytes, as the window does")
      ->check(kNotAnOption)
      ->option_text("M")
      ->check(CLI::Range(kMinMultiplier, kMaxMultiplier).description(""));
}

constexpr const char* kRenderNotes =
    R"(The input is any sound file libsndfile reads (WAV of any common sample format,
RF64, AIFF, FLAC, Ogg/Vorbis, Opus), mono or stereo; a FIFO, or "-" for standard
input, is read as it comes. An input at another rate than --rate is converted
with libsoxr. The output is WAV (RF64 past 4 GiB), or FLAC when its name ends in
".flac"; "-" is standard output. A regular file is replaced only once the render
is complete, keeping its mode; symbolic links are followed; a device or FIFO is
written in place.

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
failure; 2 bad options, or an input that is missing or unusable. On failure or
interruption (Ctrl-C, SIGTERM) render leaves no output file behind.)";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("echora-cli: the sound processor's engine without its window.", "echora-cli");
  // --help shows every command with its options; a command's own --help, just that one.
  app.set_help_flag();
  app.set_help_all_flag("-h,--help", "show this text");
  app.set_version_flag("--version", "echora-cli " ECHORA_VERSION, "show the version");
  app.require_subcommand(1);
  app.get_formatter()->column_width(26);
  const std::string renderFooter = PresetList() + "\n\n" + kRenderNotes + "\n\n" + kExitStatus;
  app.footer(renderFooter);

  RenderOptions render;
  CLI::App* renderCommand = app.add_subcommand(
      "render",
      "runs the sound processor's own engine (the eight-buffer pool, the capture and "
      "playback streams and the echo thread) on a virtual sound card: the capture device "
      "hears INPUT from the start of the first buffer period, and what the playback device "
      "plays is written to OUTPUT as 16-bit stereo");
  renderCommand->add_option("INPUT", render.input, "the sound file to process")->required();
  renderCommand->add_option("OUTPUT", render.output, "where the processed sound goes")->required();
  AddEngineOptions(*renderCommand, render.engine, "the input's");
  renderCommand->add_flag(
      "--device-stream", render.deviceStream,
      "write exactly what the playback device received instead: four periods of silence "
      "first, then the aligned output, with the tail up to a whole period");
  renderCommand->footer(renderFooter);

  std::string devicesServer;
  CLI::App* devicesCommand = app.add_subcommand(
      "devices",
      "lists the capture devices (the sound server's sources, monitors of its sinks "
      "included) and the playback devices (its sinks), with the numbers --in and --out take");
  devicesCommand->add_option("--server", devicesServer, "a sound server other than the user's")
      ->check(kNotAnOption)
      ->option_text("ADDRESS");

  LiveOptions live;
  CLI::App* liveCommand = app.add_subcommand(
      "live",
      "runs the engine on real devices until the time is up or Ctrl-C; then switches it off "
      "in order (echo thread, capture, playback, pool) and reports underflows, overflows "
      "and CPU");
  liveCommand
      ->add_option_function<int>(
          "--in", [&live](int n) { live.capture = n; },
          "capture device number (default: the server's default source)")
      ->check(kNotAnOption)
      ->option_text("N")
      ->check(CLI::Range(0, std::numeric_limits<std::int32_t>::max()).description(""));
  liveCommand
      ->add_option_function<int>(
          "--out", [&live](int n) { live.playback = n; },
          "playback device number (default: the server's default sink)")
      ->check(kNotAnOption)
      ->option_text("M")
      ->check(CLI::Range(0, std::numeric_limits<std::int32_t>::max()).description(""));
  liveCommand
      ->add_option_function<double>(
          "--seconds", [&live](double seconds) { live.seconds = seconds; },
          "stop after this many seconds")
      ->check(kNotAnOption)
      ->option_text("S")
      ->check(kAboveZero);
  liveCommand
      ->add_option_function<int>(
          "--latency-ms", [&live](int ms) { live.latency = std::chrono::milliseconds(ms); },
          "what each stream asks the server to buffer, " + std::to_string(kMinLatencyMs) + " to " +
              std::to_string(kMaxLatencyMs) +
              " and at most a buffer period (default: a tenth "
              "of a buffer period, " +
              std::to_string(PulseDriver::kMinLatency.count()) + " to " +
              std::to_string(PulseDriver::kMaxLatency.count()) + ")")
      ->check(kNotAnOption)
      ->option_text("MS")
      ->check(CLI::Range(kMinLatencyMs, kMaxLatencyMs).description(""));
  liveCommand->add_option("--server", live.server, "a sound server other than the user's")
      ->check(kNotAnOption)
      ->option_text("ADDRESS");
  AddEngineOptions(*liveCommand, live.engine, "44100");
  liveCommand->footer(PresetList());

  for (CLI::App* command : {renderCommand, devicesCommand, liveCommand}) {
    command->set_help_all_flag();
    command->set_help_flag("-h,--help", "show the help of this command");
    command->description(Wrap(command->get_description(), kCommandWidth));
    for (CLI::Option* option : command->get_options()) {
      option->description(Wrap(option->get_description(), kOptionWidth));
    }
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForAllHelp&) {
    std::cout << app.help("", CLI::AppFormatMode::All);
    return 0;
  } catch (const CLI::CallForVersion& version) {
    std::cout << version.what() << '\n';
    return 0;
  } catch (const CLI::CallForHelp&) {
    for (const CLI::App* command : app.get_subcommands()) std::cout << command->help();
    return 0;
  } catch (const CLI::ParseError& e) {
    std::cerr << "echora-cli: " << e.what() << " (see echora-cli --help)\n";
    return kUsageError;
  }

  if (renderCommand->parsed()) {
    render.progress = isatty(STDERR_FILENO) != 0;
    return Render(render, std::cerr);
  }
  if (devicesCommand->parsed()) return ListDevices(devicesServer, std::cout, std::cerr);
  return RunLive(live, std::cout, std::cerr);
}
