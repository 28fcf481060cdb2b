#include "platform/waveaudio/pulse_driver.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <type_traits>
#include <vector>

#include "platform/waveaudio/completion_order.h"

namespace {

struct Device {
  std::uint32_t index;
  std::string name;
  std::string description;
  std::uint32_t monitorOf = PA_INVALID_INDEX;  // a source: the sink it monitors, if any
};

// A device listing in progress; its fields are guarded by the core's mutex.
struct DeviceList {
  PulseDriver::Core* core = nullptr;
  std::vector<Device> devices = {};
  bool done = false;
  bool failed = false;
};

class PulseStream;

}  // namespace

struct PulseDriver::Core {
  explicit Core(Options o) : options(std::move(o)) {
    // A server that goes away closes our socket; that must fail the streams, not end the
    // program on a broken pipe.
    std::signal(SIGPIPE, SIG_IGN);
    loop = pa_threaded_mainloop_new();
    if (loop && pa_threaded_mainloop_start(loop) < 0) {
      pa_threaded_mainloop_free(loop);
      loop = nullptr;
    }
  }

  ~Core() {
    if (!loop) return;
    Lock();
    DropContext();
    Unlock();
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
  }

  // The main loop's lock; callbacks run with it held. Taken only from our own threads.
  void Lock() { pa_threaded_mainloop_lock(loop); }
  void Unlock() { pa_threaded_mainloop_unlock(loop); }

  // Waits, at most the timeout, until `ready()` holds; the callbacks that change what it
  // reads hold `mutex` and signal `changed`.
  template <typename Ready>
  bool Await(Ready ready) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, options.timeout, ready);
  }

  // Waits, at most the timeout, for a request's answer; true when `done()` then holds. A
  // server lost meanwhile ends the wait at once: it will not answer. A request left
  // unanswered is cancelled under the loop lock, so that its callback can no longer reach
  // the caller's state once this returns. Loop lock not held.
  template <typename Done>
  bool Finish(pa_operation* operation, Done done) {
    Await([&] { return done() || !PA_CONTEXT_IS_GOOD(contextState); });
    bool answered;
    {
      std::lock_guard lock(mutex);
      answered = done();
    }
    Lock();
    if (!answered) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    Unlock();
    return answered;
  }

  // Connects, or reconnects after the server went away. Loop lock not held.
  bool Connect();
  // Keeps the reason of the latest failure for LastFailure; Succeeded forgets it.
  void Failed(std::string reason) {
    std::lock_guard lock(mutex);
    lastFailure = std::move(reason);
  }
  void Succeeded() { Failed({}); }
  // The server's own words for the context's latest error. Loop lock not held.
  std::string ServerError() {
    Lock();
    const int error = context ? pa_context_errno(context) : PA_ERR_CONNECTIONREFUSED;
    Unlock();
    return pa_strerror(error);
  }
  std::string ServerAddress() const {
    if (!options.server.empty()) return options.server;
    const char* fromEnvironment = std::getenv("PULSE_SERVER");
    return fromEnvironment ? fromEnvironment : "its default address";
  }
  void DropContext();
  // The devices of one direction, in the server's order: from the held listing while one
  // is held, otherwise read afresh.
  std::optional<std::vector<Device>> List(WaveDirection direction);
  std::optional<std::vector<Device>> ReadList(WaveDirection direction);
  // The name of the server's default source or sink.
  std::optional<std::string> DefaultName(WaveDirection direction);

  // The connection's state changed. The main-loop thread, with its lock held.
  static void OnContextState(pa_context* context, void* userdata);

  const Options options;
  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;   // loop lock
  std::set<PulseStream*> streams;  // the open streams; loop lock

  std::mutex mutex;  // what the waits read, and lastFailure
  std::condition_variable changed;
  pa_context_state_t contextState = PA_CONTEXT_UNCONNECTED;
  std::string lastFailure;
  // The held listing of each direction, once read; the GUI thread's, as are the calls.
  bool holding = false;
  std::optional<std::vector<Device>> held[2];

  std::atomic<std::uint64_t> underflows{0};
  std::atomic<std::uint64_t> overflows{0};
  // The capture and playback streams' completions take turns (see CompletionOrder).
  const std::shared_ptr<CompletionOrder> order = std::make_shared<CompletionOrder>();
  // A server may leave a sink that it resumes for a new stream silent for a second or more
  // after the stream's start. A capture that recorded all along would then run a period
  // ahead of the playback for good, held for most of each period; so once the playback
  // has taken longer to be asked for sound than the capture took to hear its first, by a
  // quarter of a period, the capture lets go of what it hears until the playback is asked.
  // Loop lock.
  bool playbackAwaited = false;  // started, and not yet asked for sound
  std::chrono::steady_clock::time_point playbackStarted;
  std::chrono::steady_clock::duration playbackMargin{};  // a quarter of its period
  std::optional<std::chrono::steady_clock::duration> captureStartUp;
};

namespace {

// One open device: a record or playback stream on the server, and the queue it serves.
class PulseStream final : public DevicePort {
 public:
  PulseStream(std::shared_ptr<PulseDriver::Core> core, WaveDirection direction,
              std::shared_ptr<StreamEndpoint> endpoint, std::uint32_t rate)
      : core_(std::move(core)), direction_(direction), endpoint_(std::move(endpoint)) {
    spec_.format = PA_SAMPLE_S16LE;
    spec_.channels = 2;
    spec_.rate = rate;
  }

  ~PulseStream() override {
    core_->Lock();
    core_->streams.erase(this);
    StopAwaitingPlaybackLocked();
    if (direction_ == WaveDirection::Capture) core_->captureStartUp.reset();
    if (startTimer_) {
      pa_threaded_mainloop_get_api(core_->loop)->time_free(startTimer_);
    }
    if (stream_) {
      pa_stream_set_state_callback(stream_, nullptr, nullptr);
      pa_stream_set_read_callback(stream_, nullptr, nullptr);
      pa_stream_set_write_callback(stream_, nullptr, nullptr);
      pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
      pa_stream_set_overflow_callback(stream_, nullptr, nullptr);
      pa_stream_set_suspended_callback(stream_, nullptr, nullptr);
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
    }
    core_->Unlock();
  }

  // Connects to the device and waits, bounded, until the server has the stream ready.
  MMRESULT Connect(const std::string& device);

  // Capture: the server starts sending when the program starts the device.
  void OnStart() override {
    core_->Lock();
    if (direction_ == WaveDirection::Capture && !started_) {
      started_ = true;
      startedAt_ = std::chrono::steady_clock::now();
    }
    CorkLocked(false);
    core_->Unlock();
  }
  void OnStop() override { Cork(true); }
  void OnReset() override {
    core_->Lock();
    if (direction_ == WaveDirection::Capture) CorkLocked(true);
    StopAwaitingPlaybackLocked();
    if (Ready()) pa_operation_unref(pa_stream_flush(stream_, nullptr, nullptr));
    core_->Unlock();
  }
  // Playback: new headers go to the server at once, as far as it takes them. The first
  // header of either direction tells the buffer period the latency follows.
  void OnQueued() override {
    core_->Lock();
    if (!latencyFitted_) FitLatencyLocked();
    if (direction_ == WaveDirection::Playback) {
      if (!started_ && !startTimer_ && Ready()) ScheduleStart();
      Write();
    }
    core_->Unlock();
  }

  // The server is gone: the program gets its headers back.
  void Fail() {
    failed_ = true;
    StopAwaitingPlaybackLocked();
    endpoint_->Fail(MMSYSERR_NODRIVER);
  }
  bool Failed() const { return failed_; }

 private:
  bool Ready() const { return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY; }

  // A playback that is gone, reset or failed is no longer waited for: the capture must not
  // let go of its sound for it. Loop lock held.
  void StopAwaitingPlaybackLocked() {
    if (direction_ == WaveDirection::Playback) core_->playbackAwaited = false;
  }

  // Whether the playback has waited to be asked for sound longer than the capture waited
  // for its first, by more than its margin (see Core::playbackAwaited). Loop lock held.
  bool PlaybackLateLocked() const {
    return core_->playbackAwaited && core_->captureStartUp &&
           std::chrono::steady_clock::now() - core_->playbackStarted >
               *core_->captureStartUp + core_->playbackMargin;
  }

  void Cork(bool cork) {
    core_->Lock();
    CorkLocked(cork);
    core_->Unlock();
  }
  void CorkLocked(bool cork) {
    if (Ready()) pa_operation_unref(pa_stream_cork(stream_, cork, nullptr, nullptr));
  }

  // Playback starts a little after its first write, so that a capture stream started at
  // the same moment finishes each buffer period just before playback finishes its own:
  // the server takes playback data one latency ahead and delivers capture data one latency
  // late, and the processor's completions are meant to come capture first.
  void ScheduleStart() {
    const auto delay = static_cast<pa_usec_t>(PulseDriver::PlaybackStartDelay(latency_).count());
    startTimer_ =
        pa_context_rttime_new(core_->context, pa_rtclock_now() + delay, &OnStartTimer, this);
  }
  static void OnStartTimer(pa_mainloop_api* api, pa_time_event* event, const struct timeval*,
                           void* userdata) {
    auto* self = static_cast<PulseStream*>(userdata);
    api->time_free(event);
    self->startTimer_ = nullptr;
    self->started_ = true;
    self->CorkLocked(false);
    self->core_->playbackAwaited = true;
    self->core_->playbackStarted = std::chrono::steady_clock::now();
  }

  // The server's buffering as the options or the queued header's length ask, and the
  // completions' turns, which may wait for a part of that length. Loop lock held.
  void FitLatencyLocked() {
    latencyFitted_ = true;
    const std::size_t bytes = endpoint_->FrontBytesLeft();
    if (bytes == 0 || !Ready()) return;
    const auto period = std::chrono::microseconds(static_cast<std::int64_t>(bytes / kFrameBytes) *
                                                  1'000'000 / spec_.rate);
    // A playback notice held longer than half a period would queue the next header too
    // late; a held capture notice costs only the sound that finds no header, and may wait
    // for the playback of a device that has just resumed to finish its queued period.
    endpoint_->OrderCompletions(
        core_->order, direction_ == WaveDirection::Playback ? period / 2 : period * 3 / 2);
    // Joining the turns ends a suspension, but the device may be suspended still: since
    // before this stream was made, which no notice tells, or since a notice that came
    // before the join.
    core_->order->Suspend(direction_, pa_stream_is_suspended(stream_) == 1);
    if (direction_ == WaveDirection::Playback) core_->playbackMargin = period / 4;
    if (core_->options.latency) return;  // fixed at the open
    latency_ = PulseDriver::LatencyFor(period);
    pa_buffer_attr attr = BufferAttr();
    pa_operation* operation = pa_stream_set_buffer_attr(stream_, &attr, nullptr, nullptr);
    if (operation) pa_operation_unref(operation);
  }

  // What the stream asks the server for at latency_: capture gets its sound in fragments of
  // that length, playback keeps that much queued on the server and is asked for more when
  // half of it has played, so that each wakes the process about as rarely.
  pa_buffer_attr BufferAttr() const {
    const auto bytes = static_cast<std::uint32_t>(
        pa_usec_to_bytes(static_cast<pa_usec_t>(latency_.count()), &spec_));
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    if (direction_ == WaveDirection::Capture) {
      attr.fragsize = bytes;
    } else {
      attr.tlength = bytes;
      attr.minreq = bytes / 2 - bytes / 2 % kFrameBytes;
    }
    return attr;
  }

  // Feeds the server what it asks for from the queued headers. Loop lock held.
  void Write() {
    if (!Ready()) return;
    std::size_t wanted = pa_stream_writable_size(stream_);
    while (wanted >= kFrameBytes && wanted != static_cast<std::size_t>(-1)) {
      void* data = nullptr;
      std::size_t size = wanted - wanted % kFrameBytes;
      if (pa_stream_begin_write(stream_, &data, &size) < 0 || data == nullptr) return;
      size -= size % kFrameBytes;
      std::size_t filled = 0;
      const std::size_t given = endpoint_->Play(size, [&](const std::byte* from, std::size_t n) {
        std::memcpy(static_cast<char*>(data) + filled, from, n);
        filled += n;
      });
      if (given == 0) {
        pa_stream_cancel_write(stream_);
        return;
      }
      pa_stream_write(stream_, data, given, nullptr, 0, PA_SEEK_RELATIVE);
      wanted -= std::min(wanted, given);
    }
  }

  // Hands what the server recorded to the queued headers. While the playback device is
  // suspended, what is recorded is let go instead: a header filled then would complete a
  // period the playback side never pairs, and the streams would resume a period apart.
  // Loop lock held.
  void Read() {
    const bool pairedSuspended = core_->order->Suspended(WaveDirection::Playback);
    for (;;) {
      const void* data = nullptr;
      std::size_t size = 0;
      if (pa_stream_peek(stream_, &data, &size) < 0 || size == 0) return;
      if (started_ && !heard_) {
        heard_ = true;
        core_->captureStartUp = std::chrono::steady_clock::now() - startedAt_;
      }
      if (pairedSuspended || PlaybackLateLocked()) {
        pa_stream_drop(stream_);
        continue;
      }
      std::size_t offset = 0;
      const std::size_t taken = endpoint_->Capture(size, [&](std::byte* to, std::size_t n) {
        if (data) {
          std::memcpy(to, static_cast<const char*>(data) + offset, n);
        } else {
          std::memset(to, 0, n);  // a hole in the recording: silence
        }
        offset += n;
      });
      if (taken < size && endpoint_->Running()) ++core_->overflows;
      pa_stream_drop(stream_);
    }
  }

  // The stream callbacks run on the client library's main-loop thread, with its lock held.
  static void OnState(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulseStream*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && !self->failed_ &&
        self->core_->streams.contains(self)) {
      // A stream that was running: its device went away. (One that fails to connect says
      // so through Connect.)
      self->core_->Failed(
          std::string("the sound server ended the ") +
          (self->direction_ == WaveDirection::Capture ? "capture" : "playback") +
          " stream: " + pa_strerror(pa_context_errno(pa_stream_get_context(stream))));
    }
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) self->Fail();
    std::lock_guard lock(self->core_->mutex);
    self->state_ = state;
    self->core_->changed.notify_all();
  }
  static void OnWrite(pa_stream*, std::size_t, void* userdata) {
    auto* self = static_cast<PulseStream*>(userdata);
    if (self->started_) self->core_->playbackAwaited = false;
    self->Write();
  }
  static void OnRead(pa_stream*, std::size_t, void* userdata) {
    static_cast<PulseStream*>(userdata)->Read();
  }
  static void OnUnderflow(pa_stream*, void* userdata) {
    auto* self = static_cast<PulseStream*>(userdata);
    if (self->endpoint_->Running()) ++self->core_->underflows;
  }
  // A suspended device is not a failure: the other stream's completions wait for it.
  static void OnSuspended(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulseStream*>(userdata);
    self->core_->order->Suspend(self->direction_, pa_stream_is_suspended(stream) == 1);
  }
  static void OnOverflow(pa_stream*, void* userdata) {
    ++static_cast<PulseStream*>(userdata)->core_->overflows;
  }

  const std::shared_ptr<PulseDriver::Core> core_;
  const WaveDirection direction_;
  const std::shared_ptr<StreamEndpoint> endpoint_;
  pa_sample_spec spec_{};
  pa_stream* stream_ = nullptr;  // loop lock, from here on
  pa_time_event* startTimer_ = nullptr;
  bool started_ = false;  // started once by the program (playback: by its start timer)
  // Capture: when it was first started, and whether it has heard anything since.
  std::chrono::steady_clock::time_point startedAt_;
  bool heard_ = false;
  // The server latency asked for: the options' or, until the first header tells the
  // period, the shortest that can follow it.
  std::chrono::microseconds latency_;
  bool latencyFitted_ = false;
  std::atomic<bool> failed_{false};
  pa_stream_state_t state_ = PA_STREAM_UNCONNECTED;  // for Connect's wait; the core's mutex
};

MMRESULT PulseStream::Connect(const std::string& device) {
  const bool capture = direction_ == WaveDirection::Capture;
  core_->Lock();
  pa_channel_map map;
  pa_channel_map_init_stereo(&map);
  stream_ =
      pa_stream_new(core_->context, capture ? "Echora capture" : "Echora playback", &spec_, &map);
  if (!stream_) {
    core_->Unlock();
    return MMSYSERR_NOMEM;
  }
  pa_stream_set_state_callback(stream_, &OnState, this);
  pa_stream_set_suspended_callback(stream_, &OnSuspended, this);
  latency_ = core_->options.latency.value_or(PulseDriver::kMinLatency);
  pa_buffer_attr attr = BufferAttr();
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                                    PA_STREAM_START_CORKED);
  int connected;
  if (capture) {
    pa_stream_set_read_callback(stream_, &OnRead, this);
    pa_stream_set_overflow_callback(stream_, &OnOverflow, this);
    connected = pa_stream_connect_record(stream_, device.c_str(), &attr, flags);
  } else {
    pa_stream_set_write_callback(stream_, &OnWrite, this);
    pa_stream_set_underflow_callback(stream_, &OnUnderflow, this);
    connected = pa_stream_connect_playback(stream_, device.c_str(), &attr, flags, nullptr, nullptr);
  }
  core_->Unlock();
  if (connected < 0) {
    core_->Failed("the sound server refused the stream: " + core_->ServerError());
    return MMSYSERR_ALLOCATED;
  }

  pa_stream_state_t state = PA_STREAM_UNCONNECTED;
  const bool answered = core_->Await([&] {
    state = state_;
    return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
  });
  if (state != PA_STREAM_READY) {
    core_->Failed(answered ? "the sound server refused the stream: " + core_->ServerError()
                           : "the sound server did not open the stream in time");
    return MMSYSERR_ALLOCATED;
  }
  core_->Lock();
  core_->streams.insert(this);
  core_->Unlock();
  return MMSYSERR_NOERROR;
}

// One device of a listing, then its end. The main-loop thread, with its lock held.
template <typename Info>
void OnDeviceInfo(pa_context*, const Info* info, int eol, void* userdata) {
  auto* list = static_cast<DeviceList*>(userdata);
  std::lock_guard lock(list->core->mutex);
  if (eol != 0) {
    list->done = true;
    list->failed = eol < 0;
    list->core->changed.notify_all();
  } else if (info) {
    Device device{info->index, info->name ? info->name : "",
                  info->description ? info->description : ""};
    if constexpr (std::is_same_v<Info, pa_source_info>) device.monitorOf = info->monitor_of_sink;
    list->devices.push_back(std::move(device));
  }
}

}  // namespace

bool PulseDriver::Core::Connect() {
  if (!loop) {
    Failed("the sound server's client library could not start its thread");
    return false;
  }
  Lock();
  if (context && pa_context_get_state(context) == PA_CONTEXT_READY) {
    Unlock();
    return true;
  }
  DropContext();
  context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Echora");
  bool started = false;
  if (context) {
    pa_context_set_state_callback(context, &OnContextState, this);
    const char* server = options.server.empty() ? nullptr : options.server.c_str();
    started = pa_context_connect(context, server, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
  }
  Unlock();
  pa_context_state_t state = PA_CONTEXT_UNCONNECTED;
  const bool answered = !started || Await([&] {
    state = contextState;
    return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
  });
  if (state == PA_CONTEXT_READY) return true;
  Failed("cannot reach the sound server at " + ServerAddress() + ": " +
         (answered ? ServerError()
                   : "no answer within " + std::to_string(options.timeout.count()) + " ms"));
  return false;
}

void PulseDriver::Core::DropContext() {
  if (!context) return;
  pa_context_set_state_callback(context, nullptr, nullptr);
  pa_context_disconnect(context);
  pa_context_unref(context);
  context = nullptr;
  std::lock_guard lock(mutex);
  contextState = PA_CONTEXT_UNCONNECTED;
}

void PulseDriver::Core::OnContextState(pa_context* context, void* userdata) {
  auto* core = static_cast<Core*>(userdata);
  const pa_context_state_t state = pa_context_get_state(context);
  if (!PA_CONTEXT_IS_GOOD(state)) {
    if (!core->streams.empty()) {
      core->Failed("lost the sound server at " + core->ServerAddress() + ": " +
                   pa_strerror(pa_context_errno(context)));
    }
    for (PulseStream* stream : core->streams) stream->Fail();
  }
  std::lock_guard lock(core->mutex);
  core->contextState = state;
  core->changed.notify_all();
}

std::optional<std::vector<Device>> PulseDriver::Core::List(WaveDirection direction) {
  Succeeded();
  if (!holding) return ReadList(direction);
  std::optional<std::vector<Device>>& listing = held[static_cast<int>(direction)];
  // A failed read is not held: the next call of the action tries again.
  if (!listing) listing = ReadList(direction);
  return listing;
}

std::optional<std::string> PulseDriver::Core::DefaultName(WaveDirection direction) {
  if (!Connect()) return std::nullopt;
  struct Answer {
    Core* core;
    std::optional<std::string> name;
    bool done = false;
    WaveDirection direction;
  } answer{this, std::nullopt, false, direction};
  Lock();
  pa_operation* operation = pa_context_get_server_info(
      context,
      [](pa_context*, const pa_server_info* info, void* userdata) {
        auto* a = static_cast<Answer*>(userdata);
        std::lock_guard lock(a->core->mutex);
        const char* name = nullptr;
        if (info) {
          name = a->direction == WaveDirection::Capture ? info->default_source_name
                                                        : info->default_sink_name;
        }
        if (name) a->name = name;
        a->done = true;
        a->core->changed.notify_all();
      },
      &answer);
  Unlock();
  if (!operation || !Finish(operation, [&] { return answer.done; })) return std::nullopt;
  std::lock_guard lock(mutex);
  return answer.name;
}

std::optional<std::vector<Device>> PulseDriver::Core::ReadList(WaveDirection direction) {
  if (!Connect()) return std::nullopt;
  DeviceList list{this};
  Lock();
  pa_operation* operation =
      direction == WaveDirection::Capture
          ? pa_context_get_source_info_list(context, &OnDeviceInfo<pa_source_info>, &list)
          : pa_context_get_sink_info_list(context, &OnDeviceInfo<pa_sink_info>, &list);
  Unlock();
  if (!operation) return std::nullopt;
  const bool done = Finish(operation, [&] { return list.done; });
  if (!done || list.failed) {
    bool lost;
    {
      std::lock_guard lock(mutex);
      lost = !PA_CONTEXT_IS_GOOD(contextState);
    }
    Failed(lost   ? "lost the sound server at " + ServerAddress() + ": " + ServerError()
           : done ? "the sound server did not list its devices: " + ServerError()
                  : "the sound server did not list its devices in time");
    return std::nullopt;
  }
  // The server's indexes grow as devices appear, which keeps the numbering stable.
  std::sort(list.devices.begin(), list.devices.end(),
            [](const Device& a, const Device& b) { return a.index < b.index; });
  return std::move(list.devices);
}

std::chrono::microseconds PulseDriver::PlaybackStartDelay(std::chrono::microseconds latency) {
  return 2 * latency +
         std::max<std::chrono::microseconds>(std::chrono::milliseconds(20), latency / 2);
}

std::chrono::microseconds PulseDriver::LatencyFor(std::chrono::microseconds period) {
  return std::clamp<std::chrono::microseconds>(period / 10, kMinLatency, kMaxLatency);
}

PulseDriver::PulseDriver(Options options) : core_(std::make_shared<Core>(std::move(options))) {}
PulseDriver::PulseDriver() : PulseDriver(Options{}) {}

PulseDriver::~PulseDriver() {
  if (!core_->loop) return;
  core_->Lock();
  for (PulseStream* stream : core_->streams) stream->Fail();
  core_->Unlock();
}

bool PulseDriver::StreamsAlive() const {
  if (!core_->loop) return false;
  core_->Lock();
  const bool alive = std::any_of(core_->streams.begin(), core_->streams.end(),
                                 [](const PulseStream* stream) { return !stream->Failed(); });
  core_->Unlock();
  return alive;
}

std::optional<UINT> PulseDriver::DefaultDevice(WaveDirection direction) {
  const auto devices = core_->List(direction);
  const auto name = core_->DefaultName(direction);
  if (!devices || !name) return std::nullopt;
  const auto found = std::find_if(devices->begin(), devices->end(),
                                  [&](const Device& device) { return device.name == *name; });
  if (found == devices->end()) return std::nullopt;
  return static_cast<UINT>(found - devices->begin());
}

bool PulseDriver::Loops(UINT capture, UINT playback) {
  const auto sources = core_->List(WaveDirection::Capture);
  const auto sinks = core_->List(WaveDirection::Playback);
  if (!sources || !sinks || capture >= sources->size() || playback >= sinks->size()) return false;
  return (*sources)[capture].monitorOf == (*sinks)[playback].index;
}

void PulseDriver::HoldDeviceList(bool hold) {
  core_->holding = hold;
  for (auto& listing : core_->held) listing.reset();
}

std::string PulseDriver::LastFailure() const {
  std::lock_guard lock(core_->mutex);
  return core_->lastFailure;
}

std::uint64_t PulseDriver::Underflows() const {
  return core_->underflows;
}
std::uint64_t PulseDriver::Overflows() const {
  return core_->overflows;
}
std::uint64_t PulseDriver::PassesOutOfTurn() const {
  return core_->order->OutOfTurn();
}

UINT PulseDriver::DeviceCount(WaveDirection direction) {
  const auto devices = core_->List(direction);
  return devices ? static_cast<UINT>(devices->size()) : 0;
}

MMRESULT PulseDriver::Capabilities(WaveDirection direction, UINT id, DeviceCaps& caps) {
  const auto devices = core_->List(direction);
  if (!devices) return MMSYSERR_NODRIVER;
  if (id >= devices->size()) return MMSYSERR_BADDEVICEID;
  const Device& device = (*devices)[id];
  caps.mid = 0x00FF;  // no manufacturer: a sound server's device
  caps.pid = static_cast<WORD>(device.index);
  caps.driverVersion = static_cast<MMVERSION>(PA_PROTOCOL_VERSION);
  caps.name = device.description.empty() ? device.name : device.description;
  caps.formats = 0x0FFF;  // the server converts any of the classic formats
  caps.channels = 2;
  caps.support = direction == WaveDirection::Playback
                     ? WAVECAPS_VOLUME | WAVECAPS_LRVOLUME | WAVECAPS_SAMPLEACCURATE
                     : 0;
  return MMSYSERR_NOERROR;
}

MMRESULT PulseDriver::Open(WaveDirection direction, UINT id, const WAVEFORMATEX& format,
                           std::shared_ptr<StreamEndpoint> endpoint,
                           std::unique_ptr<DevicePort>& port) {
  // The program's format only; the server resamples to the device's own rate.
  if (!IsProgramFormat(format)) return WAVERR_BADFORMAT;
  const auto devices = core_->List(direction);
  if (!devices) return MMSYSERR_NODRIVER;
  if (id >= devices->size()) return MMSYSERR_BADDEVICEID;
  auto stream =
      std::make_unique<PulseStream>(core_, direction, std::move(endpoint), format.nSamplesPerSec);
  if (MMRESULT r = stream->Connect((*devices)[id].name)) return r;
  port = std::move(stream);
  return MMSYSERR_NOERROR;
}
