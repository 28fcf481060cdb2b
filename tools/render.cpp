#include "tools/render.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "audio/buffer_rules.h"
#include "audio/engine_bindings.h"
#include "audio/engine_state.h"
#include "echo/echo_process.h"
#include "echo/processor_power.h"
#include "platform/thread/dispatcher.h"
#include "platform/thread/spin_wait.h"
#include "platform/waveaudio/file_source.h"
#include "platform/waveaudio/virtual_driver.h"
#include "tools/background_writer.h"
#include "tools/cli_panel.h"
#include "tools/input_file.h"
#include "tools/interrupt_cleanup.h"
#include "tools/output_target.h"
#include "tools/progress_bar.h"

namespace {

// Inputs shorter than this render in a blink: no progress bar for them.
constexpr double kQuietSeconds = 5.0;

int Failed(std::ostream& err, const std::string& why, int status) {
  err << "echora-cli: " << why << "\n";
  return status;
}

// "1.2 s", "3 min 20 s", "51 h 0 min": a length a user reads at a glance.
std::string Duration(std::uint64_t frames) {
  const double seconds = static_cast<double>(frames) / SampleRate;
  char text[64];
  if (seconds < 60) {
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  } else if (seconds < 3600) {
    const auto whole = static_cast<long long>(seconds);
    std::snprintf(text, sizeof text, "%lld min %lld s", whole / 60, whole % 60);
  } else {
    const auto minutes = static_cast<long long>(seconds / 60);
    std::snprintf(text, sizeof text, "%lld h %lld min", minutes / 60, minutes % 60);
  }
  return text;
}

// Which of the engine's played frames the output takes. Every input period comes out four
// periods after it went in: a file drops those four periods of lead-in and ends with the
// input; a device stream keeps the engine's whole periods. The input's length (at the
// engine's rate) is known once its sound has ended: a header's claim is never taken for
// it, so that a damaged or lying file cannot make the output longer than its sound.
struct Timeline {
  std::int64_t period;  // frames
  bool deviceStream;
  std::optional<std::int64_t> inputFrames;

  std::int64_t PeriodsFor(std::int64_t frames) const { return (frames + period - 1) / period + 4; }
  std::optional<std::int64_t> Periods() const {
    return inputFrames ? std::optional(PeriodsFor(*inputFrames)) : std::nullopt;
  }
  std::optional<std::int64_t> Wanted() const {
    if (!inputFrames) return std::nullopt;
    return deviceStream ? PeriodsFor(*inputFrames) * period : *inputFrames;
  }
  std::int64_t Skipped() const { return deviceStream ? 0 : 4 * period; }
};

// The input, at the rate the engine is then set to; null, with the reason on `err`, when
// the file or the options cannot be used.
std::shared_ptr<FileSource> OpenSource(const RenderOptions& options, std::ostream& err) {
  try {
    std::unique_ptr<SoundFileReader> reader = OpenInput(options.input, err);
    const std::int32_t fileRate = reader->rate();
    std::int32_t rate = options.engine.rate.value_or(fileRate);
    if (!options.engine.rate && !IsSelectableRate(fileRate)) {
      rate = NearestSelectableRate(fileRate);
      err << "echora-cli: note: the processor does not run at " << fileRate
          << " Hz; the input is converted to " << rate << " Hz (choose another with --rate)\n";
    }
    if (!ConfigureEngine(options.engine, rate, err)) return nullptr;
    auto source = std::make_shared<FileSource>(std::move(reader), rate);
    if (!source->HoldsSound()) {
      std::string why = options.input == "-" ? "standard input" : options.input;
      why += source->BrokenOff().empty() ? " holds no sound" : ": " + source->BrokenOff();
      Failed(err, why + "; there is nothing to render", 2);
      return nullptr;
    }
    return source;
  } catch (const SoundFileError& e) {
    Failed(err, e.what(), 2);
    return nullptr;
  }
}

// Declared in this order so that the writer goes before its target, which closes the
// descriptor the writer uses.
struct OutputFile {
  std::optional<OutputTarget> target;
  std::optional<SoundFileWriter> writer;
};

void NoteRf64(std::ostream& err) {
  err << "echora-cli: note: the output passes 4 GiB, which a plain WAV file cannot hold, so it "
         "is written as RF64 (64-bit WAV); some programs cannot read it\n";
}

// A stream's header goes out before the sound, so it announces the length the input
// declares; a regular file's header is completed at the end with the length written.
bool OpenOutput(const RenderOptions& options, std::optional<std::uint64_t> declared,
                Timeline timeline, OutputFile& output, std::ostream& err) {
  try {
    output.target.emplace(options.output, err);
    std::optional<std::uint64_t> announced;
    if (declared) timeline.inputFrames = static_cast<std::int64_t>(*declared);
    if (const auto wanted = timeline.Wanted()) announced = static_cast<std::uint64_t>(*wanted);
    output.writer.emplace(output.target->Descriptor(), options.output,
                          ContainerForName(options.output), SampleRate, output.target->Seekable(),
                          announced);
    if (output.writer->rf64()) NoteRf64(err);
    return true;
  } catch (const std::runtime_error& e) {
    Failed(err, e.what(), 1);
    return false;
  }
}

// How a run of the engine ended, in the order of the exit statuses they map to.
struct RunEnd {
  std::string writeError;
  std::vector<std::string> reports;
};

// Switches the engine on over a virtual card that hears `source`, steps the card one period
// at a time into `writer` until the input has come out, and switches it off in order.
RunEnd RunEngine(const RenderOptions& options, const std::shared_ptr<FileSource>& source,
                 Timeline& timeline, SoundFileWriter& writer, std::ostream& err) {
  VirtualDriver card;
  card.AddCaptureDevice({.name = "Sound file", .source = source});
  card.AddPlaybackDevice({.name = "Sound file"});
  QueueDispatcher gui;
  CliPanel panel(0, 0, options.engine.echo);
  EngineBindings bindings(card, gui, panel);
  EchoThreadHolder echo;
  const std::int64_t period = timeline.period;
  const double periodSeconds = static_cast<double>(period) / SampleRate;
  const std::optional<std::uint64_t> declared = source->DeclaredFrames();
  const bool longInput = !declared || static_cast<double>(*declared) / SampleRate > kQuietSeconds;
  // Until the input's end is known, progress goes by what its header declares.
  const auto periodsToShow = [&]() -> std::optional<std::int64_t> {
    if (timeline.inputFrames || !declared) return timeline.Periods();
    return timeline.PeriodsFor(static_cast<std::int64_t>(*declared));
  };
  ProgressBar progress(err, options.progress && longInput);

  PowerUpEngine(echo);
  RunEnd end;
  std::int64_t dropped = 0;
  std::int64_t written = 0;
  std::vector<std::int16_t> played;
  BackgroundWriter background(writer);
  for (std::int64_t p = 1; !timeline.Periods() || p <= *timeline.Periods(); ++p) {
    card.Step(static_cast<std::size_t>(period));
    // The pass this period started must end before the next capture moves the history.
    // It clears BufferReady just after its last LED call, with nothing posted after it to
    // wake a sleeper: so spin on both first, and sleep only in short waits.
    while (BufferReady && echo.Running()) {
      if (!SpinUntil([&] { return !BufferReady || gui.Queued() > 0; },
                     std::chrono::microseconds(200))) {
        gui.Wait(std::chrono::microseconds(100));
      }
      gui.Pump();
    }
    if (!timeline.inputFrames && source->Ended()) {
      timeline.inputFrames = static_cast<std::int64_t>(source->HeardFrames());
    }
    card.TakePlayed(0, played);
    const auto frames = static_cast<std::int64_t>(played.size() / 2);
    const std::int64_t wanted =
        timeline.Wanted().value_or(std::numeric_limits<std::int64_t>::max());
    const std::int64_t from = std::clamp<std::int64_t>(timeline.Skipped() - dropped, 0, frames);
    const std::int64_t count = std::clamp<std::int64_t>(wanted - written, 0, frames - from);
    dropped += from;
    try {
      background.Append(played, static_cast<std::size_t>(from), static_cast<std::size_t>(count));
    } catch (const SoundFileError& e) {
      // A full disk ends the run, but the engine still stops in order.
      end.writeError = e.what();
      break;
    }
    written += count;
    progress.Show(p, periodsToShow(), periodSeconds);
  }
  try {
    background.Drain();
  } catch (const SoundFileError& e) {
    if (end.writeError.empty()) end.writeError = e.what();
  }
  progress.Finish();
  panel.Untick();
  AwaitEchoEnd(echo, [&] { gui.Pump(); });
  PowerDownEngine();
  end.reports = panel.Reports();
  return end;
}

// One note when the sound ended before the end its header announces, or broke off.
void NoteAnEarlyEnd(const RenderOptions& options, const FileSource& source, std::ostream& err) {
  const std::string name = options.input == "-" ? "standard input" : options.input;
  const std::uint64_t heard = source.HeardFrames();
  const std::optional<std::uint64_t> announced = source.AnnouncedFrames();
  // A converted length may differ from the header's by a frame of rounding.
  const bool short_ = announced && heard + 2 < *announced;
  if (!short_ && source.BrokenOff().empty()) return;
  err << "echora-cli: note: " << name << " ends after " << Duration(heard);
  if (short_) err << " of the " << Duration(*announced) << " its header announces";
  if (!source.BrokenOff().empty()) err << " (" << source.BrokenOff() << ")";
  err << "; the output holds what it has\n";
}

}  // namespace

int Render(const RenderOptions& options, std::ostream& err) {
  // First, so that neither a wait for a stream nor a partial file can outlive a Ctrl-C.
  InstallInterruptCleanup();
  const std::shared_ptr<FileSource> source = OpenSource(options, err);
  if (!source) return 2;
  Timeline timeline{BufferSize / 4, options.deviceStream, std::nullopt};
  OutputFile output;
  if (!OpenOutput(options, source->DeclaredFrames(), timeline, output, err)) return 1;
  // A render the disk plainly cannot hold is refused now, not after it has run.
  if (const auto declared = source->DeclaredFrames();
      declared && ContainerForName(options.output) == SoundFileContainer::Wav) {
    const std::uint64_t needed = output.target->BytesNeededBeyond(4 * *declared + 80);
    if (const auto room = output.target->Room(); room && *room < needed) {
      return Failed(err,
                    options.output + ": not enough space: the output needs about " +
                        std::to_string((needed + (1 << 20) - 1) >> 20) + " MiB, and " +
                        std::to_string(*room >> 20) + " MiB are free",
                    1);
    }
  }

  const RunEnd end = RunEngine(options, source, timeline, *output.writer, err);
  // Only an input heard to its end can be said to have ended early.
  if (source->Ended()) NoteAnEarlyEnd(options, *source, err);
  if (!end.writeError.empty()) return Failed(err, end.writeError, 1);
  if (!end.reports.empty()) {
    return Failed(err, "the engine reported \"" + end.reports.front() + "\"", 1);
  }
  try {
    const bool rf64 = output.writer->rf64();
    output.writer->finish();
    if (output.writer->rf64() && !rf64) NoteRf64(err);
    output.target->Commit();
  } catch (const std::runtime_error& e) {
    return Failed(err, e.what(), 1);
  }
  return 0;
}
