#include "tools/render.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "audio/buffer_rules.h"
#include "audio/engine_state.h"
#include "audio/panel_links.h"
#include "audio/processor_power.h"
#include "echo/echo_process.h"
#include "platform/thread/dispatcher.h"
#include "platform/waveaudio/virtual_driver.h"
#include "platform/waveaudio/wav_file.h"

namespace {

// The renderer's stand-in for the window: device 0 on both sides, "Echo active" as asked,
// and every memo line or message box kept as a failure of the render.
class RenderPanel final : public PanelLinks {
 public:
  explicit RenderPanel(bool echo) : echo_(echo) {}

  int CaptureDeviceNumber() override { return 0; }
  int PlaybackDeviceNumber() override { return 0; }
  bool EchoActive() override { return echo_; }
  void PaintProduceLed(TColor) override {}
  void AppendMemoLine(const std::string& line) override { Report(line); }
  void ShowMessage(const std::string& text) override { Report(text); }

  void Untick() {
    echo_ = false;
    WakeEchoThread();
  }
  std::vector<std::string> Reports() {
    std::lock_guard lock(mutex_);
    return reports_;
  }

 private:
  void Report(const std::string& text) {
    std::lock_guard lock(mutex_);
    reports_.push_back(text);
  }

  std::atomic<bool> echo_;
  std::mutex mutex_;
  std::vector<std::string> reports_;
};

// Installs the renderer's card, GUI queue and panel for the life of a render.
class Bindings {
 public:
  Bindings(VirtualDriver& driver, QueueDispatcher& gui, RenderPanel& panel) {
    InstallWaveDriver(&driver);
    SetGuiDispatcher(&gui);
    SetPanelLinks(&panel);
  }
  ~Bindings() {
    SetPanelLinks(nullptr);
    SetGuiDispatcher(nullptr);
    InstallWaveDriver(nullptr);
  }
};

std::int64_t FramesAtRate(std::int64_t frames, std::int32_t from, std::int32_t to) {
  return (frames * to + from - 1) / from;
}

}  // namespace

std::optional<EchoSliders> ResolveSliders(const RenderOptions& options, std::int32_t bufferSize,
                                          std::int32_t sampleRate, std::ostream& notes) {
  const int index = PresetIndex(options.preset.value_or("Concert Hall 1"));
  if (index < 0) return std::nullopt;
  EchoSliders sliders = ApplyPresetTo({}, *PresetAt(index), bufferSize, sampleRate);
  if (options.repeats) {
    sliders.repeats = *options.repeats + 1;
    sliders.delayMax = DelayMaximum(bufferSize, sliders.repeats);
    sliders.delay = std::min(sliders.delay, sliders.delayMax);
  }
  if (options.delayMs) {
    sliders.delay = DelayFramesFor(*options.delayMs, sampleRate);
    if (sliders.delay > sliders.delayMax) {
      notes << "echora-cli: note: the delay is held at " << DelayText(sliders.delayMax, sampleRate)
            << ", the longest this buffer size allows with " << sliders.repeats - 1 << " repeats\n";
      sliders.delay = sliders.delayMax;
    }
  }
  if (options.volume) sliders.volume = *options.volume;
  return sliders;
}

int Render(const RenderOptions& options, std::ostream& err) {
  std::unique_ptr<WavReader> input;
  try {
    input = std::make_unique<WavReader>(options.input);
  } catch (const WavError& e) {
    err << "echora-cli: " << e.what() << "\n";
    return 2;
  }
  const std::int32_t fileRate = input->rate();
  const std::int32_t rate = options.rate.value_or(fileRate);
  if (!IsSelectableRate(rate)) {
    err << "echora-cli: " << options.input << " is at " << rate
        << " Hz, which the processor does not run at; choose one with --rate\n";
    return 2;
  }
  const std::int32_t multiplier = FittingMultiplier(options.multiplier, rate);
  if (multiplier != options.multiplier) {
    err << "echora-cli: note: buffer multiplier lowered to " << multiplier << " to fit "
        << kMaxBufferSize << " bytes at " << rate << " Hz\n";
  }
  const std::int32_t bufferSize = BufferSizeFor(multiplier, rate);
  const std::optional<EchoSliders> sliders = ResolveSliders(options, bufferSize, rate, err);
  if (!sliders) {
    err << "echora-cli: unknown preset \"" << *options.preset << "\"; see --help\n";
    return 2;
  }

  SampleRate = rate;
  BufferSize = bufferSize;
  EchoDelay = sliders->delay * 2;
  EchoStep = EchoStepFor(sliders->repeats);
  EchoVolume = sliders->volume;

  const std::int64_t period = bufferSize / 4;  // frames
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
  RenderPanel panel(options.echo);
  Bindings bindings(card, gui, panel);
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
