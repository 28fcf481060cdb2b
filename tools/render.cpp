#include "tools/render.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "audio/engine_bindings.h"
#include "audio/engine_state.h"
#include "echo/echo_process.h"
#include "echo/processor_power.h"
#include "platform/thread/dispatcher.h"
#include "platform/waveaudio/file_source.h"
#include "platform/waveaudio/virtual_driver.h"
#include "tools/cli_panel.h"
#include "tools/input_file.h"
#include "tools/interrupt_cleanup.h"
#include "tools/output_target.h"
#include "tools/progress_bar.h"

namespace {

// Inputs shorter than this render in a blink: no progress bar for them.
constexpr double kQuietSeconds = 5.0;

}  // namespace

int Render(const RenderOptions& options, std::ostream& err) {
  // First, so that neither a wait for a stream nor a partial file can outlive a Ctrl-C.
  InstallInterruptCleanup();
  std::shared_ptr<FileSource> source;
  try {
    std::unique_ptr<SoundFileReader> reader = OpenInput(options.input, err);
    const std::int32_t rate = options.engine.rate.value_or(reader->rate());
    if (!ConfigureEngine(options.engine, rate, err)) return 2;
    source = std::make_shared<FileSource>(std::move(reader), rate);
  } catch (const SoundFileError& e) {
    err << "echora-cli: " << e.what() << "\n";
    return 2;
  }

  const std::int64_t period = BufferSize / 4;  // frames
  // Every input period comes out four periods after it went in. The input's length (at the
  // engine's rate) comes from its header, or, for a stream, once it has ended.
  std::optional<std::int64_t> inputFrames;
  if (const auto declared = source->DeclaredFrames()) {
    inputFrames = static_cast<std::int64_t>(*declared);
  }
  const auto periodsFor = [&](std::int64_t frames) { return (frames + period - 1) / period + 4; };
  const auto wantedFor = [&](std::int64_t frames) {
    return options.deviceStream ? periodsFor(frames) * period : frames;
  };
  const std::int64_t skip = options.deviceStream ? 0 : 4 * period;

  // The writer goes before its target, which closes the descriptor the writer uses.
  std::optional<OutputTarget> target;
  std::optional<SoundFileWriter> output;
  try {
    target.emplace(options.output, err);
    std::optional<std::uint64_t> announced;
    if (inputFrames) announced = static_cast<std::uint64_t>(wantedFor(*inputFrames));
    output.emplace(target->Descriptor(), options.output, ContainerForName(options.output),
                   SampleRate, target->Seekable(), announced);
  } catch (const std::runtime_error& e) {
    err << "echora-cli: " << e.what() << "\n";
    return 1;
  }

  VirtualDriver card;
  card.AddCaptureDevice({.name = "Sound file", .source = source});
  card.AddPlaybackDevice({.name = "Sound file"});
  QueueDispatcher gui;
  CliPanel panel(0, 0, options.engine.echo);
  EngineBindings bindings(card, gui, panel);
  EchoThreadHolder echo;
  const double periodSeconds = static_cast<double>(period) / SampleRate;
  const bool longInput =
      !inputFrames || static_cast<double>(*inputFrames) / SampleRate > kQuietSeconds;
  ProgressBar progress(err, options.progress && longInput);

  PowerUpEngine(echo);
  std::int64_t dropped = 0;
  std::int64_t written = 0;
  std::vector<std::int16_t> played;
  std::string writeError;  // a full disk ends the run, but the engine still stops in order
  for (std::int64_t p = 1; !inputFrames || p <= periodsFor(*inputFrames); ++p) {
    card.Step(static_cast<std::size_t>(period));
    // The pass this period started must end before the next capture moves the history.
    // Short waits: the pass clears BufferReady just after its last LED call, with nothing
    // posted after it to wake a longer one.
    while (BufferReady && echo.Running()) gui.WaitAndPump(std::chrono::microseconds(100));
    // A read error ends the sound early; what it was is reported below.
    if (!source->Error().empty()) break;
    if (!inputFrames && source->Ended()) {
      inputFrames = static_cast<std::int64_t>(source->HeardFrames());
    }
    card.TakePlayed(0, played);
    const auto frames = static_cast<std::int64_t>(played.size() / 2);
    const std::int64_t wanted =
        inputFrames ? wantedFor(*inputFrames) : std::numeric_limits<std::int64_t>::max();
    const std::int64_t from = std::clamp<std::int64_t>(skip - dropped, 0, frames);
    const std::int64_t count = std::clamp<std::int64_t>(wanted - written, 0, frames - from);
    dropped += from;
    try {
      output->append(played.data() + 2 * from, static_cast<std::size_t>(count));
    } catch (const SoundFileError& e) {
      writeError = e.what();
      break;
    }
    written += count;
    progress.Show(p, inputFrames ? std::optional(periodsFor(*inputFrames)) : std::nullopt,
                  periodSeconds);
  }
  progress.Finish();
  panel.Untick();
  AwaitEchoEnd(echo, [&] { gui.Pump(); });
  PowerDownEngine();

  if (!source->Error().empty()) {
    err << "echora-cli: " << source->Error() << "\n";
    return 2;
  }
  if (!writeError.empty()) {
    err << "echora-cli: " << writeError << "\n";
    return 1;
  }
  const std::vector<std::string> reports = panel.Reports();
  if (!reports.empty()) {
    err << "echora-cli: the engine reported \"" << reports.front() << "\"\n";
    return 1;
  }
  try {
    output->finish();
    target->Commit();
  } catch (const std::runtime_error& e) {
    err << "echora-cli: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
