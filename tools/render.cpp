#include "tools/render.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "audio/engine_state.h"
#include "audio/processor_power.h"
#include "echo/echo_process.h"
#include "platform/thread/dispatcher.h"
#include "platform/waveaudio/virtual_driver.h"
#include "platform/waveaudio/wav_file.h"
#include "tools/cli_panel.h"

namespace {

std::int64_t FramesAtRate(std::int64_t frames, std::int32_t from, std::int32_t to) {
  return (frames * to + from - 1) / from;
}

}  // namespace

int Render(const RenderOptions& options, std::ostream& err) {
  std::unique_ptr<WavReader> input;
  try {
    input = std::make_unique<WavReader>(options.input);
  } catch (const WavError& e) {
    err << "echora-cli: " << e.what() << "\n";
    return 2;
  }
  const std::int32_t fileRate = input->rate();
  const std::int32_t rate = options.engine.rate.value_or(fileRate);
  if (!ConfigureEngine(options.engine, rate, err)) return 2;

  const std::int64_t period = BufferSize / 4;  // frames
  const std::int64_t inputFrames =
      FramesAtRate(static_cast<std::int64_t>(input->frames()), fileRate, rate);
  // Every input period comes out four periods after it went in.
  const std::int64_t periods = (inputFrames + period - 1) / period + 4;
  const std::int64_t skip = options.deviceStream ? 0 : 4 * period;
  const std::int64_t wanted = options.deviceStream ? periods * period : inputFrames;
  const bool showProgress = inputFrames > 5 * static_cast<std::int64_t>(rate);

  std::optional<WavWriter> output;
  try {
    output.emplace(options.output, rate);
  } catch (const WavError& e) {
    err << "echora-cli: " << e.what() << "\n";
    return 1;
  }

  // At its own rate the file is read as the card needs it; another rate resamples the
  // whole file, loaded at once.
  std::shared_ptr<WavStreamSource> stream;
  std::shared_ptr<CaptureSource> source;
  if (rate == fileRate) {
    source = stream = std::make_shared<WavStreamSource>(std::move(input));
  } else {
    input.reset();
    try {
      source = MakeWavSource(ReadWavFile(options.input));
    } catch (const WavError& e) {
      err << "echora-cli: " << e.what() << "\n";
      return 2;
    }
  }
  VirtualDriver card;
  card.AddCaptureDevice({.name = "WAV file", .source = source});
  card.AddPlaybackDevice({.name = "WAV file"});
  QueueDispatcher gui;
  CliPanel panel(0, 0, options.engine.echo);
  EngineBindings bindings(card, gui, panel);
  EchoThreadSlot echo;

  PowerUpEngine(echo);
  std::int64_t dropped = 0;
  std::int64_t written = 0;
  std::vector<std::int16_t> played;
  std::string writeError;  // a full disk ends the run, but the engine still stops in order
  for (std::int64_t p = 1; p <= periods && writeError.empty(); ++p) {
    card.Step(static_cast<std::size_t>(period));
    // The pass this period started must end before the next capture moves the history.
    // Short waits: the pass clears BufferReady just after its last LED call, with nothing
    // posted after it to wake a longer one.
    while (BufferReady && echo.Running()) gui.WaitAndPump(std::chrono::microseconds(100));
    card.TakePlayed(0, played);
    const auto frames = static_cast<std::int64_t>(played.size() / 2);
    const std::int64_t from = std::clamp<std::int64_t>(skip - dropped, 0, frames);
    const std::int64_t count = std::clamp<std::int64_t>(wanted - written, 0, frames - from);
    dropped += from;
    try {
      output->append(played.data() + 2 * from, static_cast<std::size_t>(2 * count));
    } catch (const WavError& e) {
      writeError = e.what();
    }
    written += count;
    if (showProgress) err << "\rechora-cli: rendering " << 100 * p / periods << "%" << std::flush;
  }
  if (showProgress) err << "\n";
  panel.Untick();
  AwaitEchoEnd(echo, [&] { gui.Pump(); });
  PowerDownEngine();

  if (stream && !stream->Error().empty()) {
    err << "echora-cli: " << stream->Error() << "\n";
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
  } catch (const WavError& e) {
    err << "echora-cli: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
