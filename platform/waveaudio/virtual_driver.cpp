#include "platform/waveaudio/virtual_driver.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>

#include "platform/thread/spin_wait.h"
#include "platform/waveaudio/completion_order.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

struct DeviceState {
  DeviceState(VirtualDevice d, WaveDirection dir) : settings(std::move(d)), direction(dir) {}
  VirtualDevice settings;
  const WaveDirection direction;
  std::weak_ptr<DeviceState> monitored;  // the playback device settings.monitorOf named
  int openStreams = 0;                   // guarded by Shared::mutex

  std::mutex mutex;  // guards what follows
  std::vector<std::int16_t> played;
  std::uint64_t underflowFrames = 0;
  std::uint64_t overflowFrames = 0;
  bool begunPlaying = false;
};

struct StreamRecord {
  std::shared_ptr<DeviceState> device;
  std::int32_t rate = 0;
  std::shared_ptr<StreamEndpoint> endpoint;
  // Real-time clock: when the stream first ran, and how far it has been moved since.
  bool begun = false;
  SteadyClock::time_point origin;
  std::uint64_t framesDone = 0;
  // Stepped clock: frames the stream has been held back by (see VirtualDriver::Lag).
  std::uint64_t behind = 0;
};

int Index(WaveDirection direction) {
  return direction == WaveDirection::Capture ? 0 : 1;
}

struct Fault {
  MMRESULT code;
  int skip;
  int times;
};

}  // namespace

struct VirtualDriver::Shared {
  std::mutex mutex;  // devices, streams, faults
  std::vector<std::shared_ptr<DeviceState>> capture;
  std::vector<std::shared_ptr<DeviceState>> playback;
  std::vector<std::shared_ptr<StreamRecord>> streams;  // in the order they were opened
  std::array<std::deque<Fault>, kWaveCallCount> faults;
  std::array<int, kWaveCallCount> calls{};
  std::shared_ptr<CompletionOrder> order;  // none unless the card orders its completions
  std::chrono::microseconds orderBound{0};

  std::mutex clockMutex;               // one advance of the clock at a time
  std::vector<std::int16_t> scratch;   // sound heard with no header to put it in
  std::vector<std::int16_t> heard;     // sound for a header piece of part frames
  std::array<std::uint64_t, 2> lag{};  // by WaveDirection, see VirtualDriver::Lag

  std::vector<std::shared_ptr<DeviceState>>& Devices(WaveDirection d) {
    return d == WaveDirection::Capture ? capture : playback;
  }

  // Moves every stream on by the frames `due` gives it, splitting at every header boundary
  // so that completions come out in time order, and handling each stream's notices before
  // the next stream moves; with turns, each moment's notices once every stream has moved.
  void Advance(const std::function<std::uint64_t(StreamRecord&)>& due) {
    std::lock_guard clock(clockMutex);
    std::vector<std::shared_ptr<StreamRecord>> open;
    std::shared_ptr<CompletionOrder> turns;
    {
      std::lock_guard lock(mutex);
      open = streams;
      turns = order;
    }
    std::vector<std::uint64_t> left(open.size());
    for (std::size_t i = 0; i < open.size(); ++i) left[i] = due(*open[i]);
    for (;;) {
      std::uint64_t chunk = std::numeric_limits<std::uint64_t>::max();
      for (std::size_t i = 0; i < open.size(); ++i) {
        if (left[i] == 0) continue;
        const std::uint64_t front = open[i]->endpoint->FrontBytesLeft() / kFrameBytes;
        chunk = std::min(chunk, front > 0 ? std::min(left[i], front) : left[i]);
      }
      if (chunk == std::numeric_limits<std::uint64_t>::max()) return;
      for (std::size_t i = 0; i < open.size(); ++i) {
        if (left[i] == 0) continue;
        const std::uint64_t n = std::min(chunk, left[i]);
        Transfer(*open[i], n);
        left[i] -= n;
        if (!turns) open[i]->endpoint->WaitNoticesDelivered();
      }
      if (turns) Settle(open, *turns);
    }
  }

  // Waits until each stream's notices are delivered or held for the other stream's, which
  // only a later moment may bring. A delivery can release a held notice, so this goes round
  // until a round finds nothing to wait for.
  static void Settle(const std::vector<std::shared_ptr<StreamRecord>>& open,
                     CompletionOrder& turns) {
    for (bool waited = true; waited;) {
      waited = false;
      for (const auto& stream : open) {
        const auto settled = [&] {
          return stream->endpoint->NoticesDelivered() || turns.Holding(stream->device->direction);
        };
        while (!settled()) {
          waited = true;
          if (!SpinUntil(settled)) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
      }
    }
  }

  void Transfer(StreamRecord& stream, std::uint64_t frames) {
    DeviceState& device = *stream.device;
    const std::size_t size = frames * kFrameBytes;
    if (device.direction == WaveDirection::Capture) {
      if (!stream.endpoint->Running()) return;  // not started: the card hears nothing
      std::shared_ptr<CaptureSource> source;
      {
        std::lock_guard lock(mutex);
        source = device.settings.source;
      }
      const std::size_t taken = stream.endpoint->Capture(
          size, [&](std::byte* to, std::size_t n) { Hear(source.get(), to, n, stream.rate); });
      // Time passes for the source all the same: what found no header is heard and lost.
      if (taken < size) {
        scratch.resize((size - taken) / 2);
        Hear(source.get(), reinterpret_cast<std::byte*>(scratch.data()), size - taken, stream.rate);
      }
      std::lock_guard lock(device.mutex);
      device.overflowFrames += frames - taken / kFrameBytes;
    } else {
      std::lock_guard lock(device.mutex);
      const std::size_t given =
          stream.endpoint->Play(size, [&](const std::byte* from, std::size_t n) {
            // Headers hold whole 16-bit slots at even addresses; anything else goes bytewise.
            if (reinterpret_cast<std::uintptr_t>(from) % alignof(std::int16_t) == 0) {
              const auto* slots = reinterpret_cast<const std::int16_t*>(from);
              device.played.insert(device.played.end(), slots, slots + n / 2);
            } else {
              const std::size_t old = device.played.size();
              device.played.resize(old + n / 2);
              std::memcpy(device.played.data() + old, from, n / 2 * 2);
            }
          });
      if (given > 0) device.begunPlaying = true;
      if (device.begunPlaying) device.underflowFrames += frames - given / kFrameBytes;
    }
  }

  // The next n bytes the source makes, written at `to`: straight into a header when they
  // are whole aligned frames, as the card always moves them, else through the scratch.
  void Hear(CaptureSource* source, std::byte* to, std::size_t n, std::int32_t rate) {
    const bool direct =
        n % kFrameBytes == 0 && reinterpret_cast<std::uintptr_t>(to) % alignof(std::int16_t) == 0;
    const std::size_t frames = (n + kFrameBytes - 1) / kFrameBytes;
    std::int16_t* slots = reinterpret_cast<std::int16_t*>(to);
    if (!direct) {
      heard.resize(2 * frames);
      slots = heard.data();
    }
    if (source) {
      source->Read(slots, frames, rate);
    } else {
      std::fill_n(slots, 2 * frames, std::int16_t{0});
    }
    if (!direct) std::memcpy(to, heard.data(), n);
  }

  std::vector<std::shared_ptr<StreamEndpoint>> TakeStreamsOf(const DeviceState* device) {
    std::vector<std::shared_ptr<StreamEndpoint>> endpoints;
    for (auto& s : streams) {
      if (device == nullptr || s->device.get() == device) endpoints.push_back(s->endpoint);
    }
    return endpoints;
  }
};

namespace {

class VirtualPort final : public DevicePort {
 public:
  VirtualPort(std::shared_ptr<VirtualDriver::Shared> shared, std::shared_ptr<StreamRecord> record)
      : shared_(std::move(shared)), record_(std::move(record)) {}
  ~VirtualPort() override {
    std::lock_guard lock(shared_->mutex);
    std::erase(shared_->streams, record_);
    --record_->device->openStreams;
  }

 private:
  std::shared_ptr<VirtualDriver::Shared> shared_;
  std::shared_ptr<StreamRecord> record_;
};

}  // namespace

VirtualDriver::VirtualDriver(Clock clock) : shared_(std::make_shared<Shared>()), clock_(clock) {
  if (clock_ == Clock::RealTime) clockThread_ = std::thread([this] { RunRealTimeClock(); });
}

VirtualDriver::~VirtualDriver() {
  stopClock_ = true;
  if (clockThread_.joinable()) clockThread_.join();
  std::vector<std::shared_ptr<StreamEndpoint>> endpoints;
  {
    std::lock_guard lock(shared_->mutex);
    endpoints = shared_->TakeStreamsOf(nullptr);
  }
  for (auto& endpoint : endpoints) {
    endpoint->Fail(MMSYSERR_NODRIVER);
    endpoint->WaitNoticesDelivered();
  }
}

UINT VirtualDriver::AddCaptureDevice(VirtualDevice device) {
  std::lock_guard lock(shared_->mutex);
  auto state = std::make_shared<DeviceState>(std::move(device), WaveDirection::Capture);
  const std::optional<UINT> monitorOf = state->settings.monitorOf;
  if (monitorOf && *monitorOf < shared_->playback.size()) {
    state->monitored = shared_->playback[*monitorOf];
  }
  shared_->capture.push_back(std::move(state));
  return static_cast<UINT>(shared_->capture.size() - 1);
}

UINT VirtualDriver::AddPlaybackDevice(VirtualDevice device) {
  std::lock_guard lock(shared_->mutex);
  shared_->playback.push_back(
      std::make_shared<DeviceState>(std::move(device), WaveDirection::Playback));
  return static_cast<UINT>(shared_->playback.size() - 1);
}

namespace {

void RemoveDevice(VirtualDriver::Shared& shared, WaveDirection direction, UINT id) {
  std::vector<std::shared_ptr<StreamEndpoint>> endpoints;
  {
    std::lock_guard lock(shared.mutex);
    auto& devices = shared.Devices(direction);
    if (id >= devices.size()) return;
    endpoints = shared.TakeStreamsOf(devices[id].get());
    devices.erase(devices.begin() + id);
  }
  for (auto& endpoint : endpoints) {
    endpoint->Fail(MMSYSERR_NODRIVER);
    endpoint->WaitNoticesDelivered();
  }
}

}  // namespace

void VirtualDriver::RemoveCaptureDevice(UINT id) {
  RemoveDevice(*shared_, WaveDirection::Capture, id);
}

void VirtualDriver::RemovePlaybackDevice(UINT id) {
  RemoveDevice(*shared_, WaveDirection::Playback, id);
}

void VirtualDriver::SetCaptureSource(UINT id, std::shared_ptr<CaptureSource> source) {
  std::lock_guard lock(shared_->mutex);
  if (id < shared_->capture.size()) shared_->capture[id]->settings.source = std::move(source);
}

void VirtualDriver::Step(std::size_t frames) {
  shared_->Advance([this, frames](StreamRecord& s) -> std::uint64_t {
    // Called under the clock's lock, which guards the lags.
    const std::uint64_t lag = shared_->lag[Index(s.device->direction)];
    const std::uint64_t owed = s.behind + frames;
    const std::uint64_t move = owed > lag ? owed - lag : 0;
    s.behind = owed - move;
    return move;
  });
}

void VirtualDriver::OrderCompletions(std::chrono::microseconds bound) {
  std::lock_guard lock(shared_->mutex);
  shared_->order = std::make_shared<CompletionOrder>();
  shared_->orderBound = bound;
}

std::uint64_t VirtualDriver::PassesOutOfTurn() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->order ? shared_->order->OutOfTurn() : 0;
}

void VirtualDriver::Lag(WaveDirection direction, std::size_t frames) {
  std::lock_guard clock(shared_->clockMutex);
  shared_->lag[Index(direction)] = frames;
}

void VirtualDriver::RunRealTimeClock() {
  // Named so that a measurement can tell the card's work from the engine's.
  pthread_setname_np(pthread_self(), "vcard-clock");
  while (!stopClock_) {
    // Like a sound card's interrupt: coarse enough to cost little, fine enough that a
    // header completes within a few milliseconds of its time.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto now = SteadyClock::now();
    shared_->Advance([now](StreamRecord& s) -> std::uint64_t {
      if (!s.begun) {
        if (!s.endpoint->Running()) return 0;
        s.begun = true;
        s.origin = now;
      }
      const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - s.origin);
      const auto target = static_cast<std::uint64_t>(elapsed.count()) * s.rate / 1'000'000'000u;
      const std::uint64_t due = target - s.framesDone;
      s.framesDone = target;
      return due;
    });
  }
}

namespace {

template <typename Read>
auto ReadDevice(VirtualDriver::Shared& shared, WaveDirection direction, UINT id, Read read) {
  std::lock_guard lock(shared.mutex);
  const auto& devices = shared.Devices(direction);
  return read(id < devices.size() ? devices[id].get() : nullptr);
}

}  // namespace

std::vector<std::int16_t> VirtualDriver::Played(UINT id) const {
  return ReadDevice(*shared_, WaveDirection::Playback, id, [](DeviceState* d) {
    if (!d) return std::vector<std::int16_t>{};
    std::lock_guard lock(d->mutex);
    return d->played;
  });
}

std::vector<std::int16_t> VirtualDriver::TakePlayed(UINT id) {
  std::vector<std::int16_t> played;
  TakePlayed(id, played);
  return played;
}

void VirtualDriver::TakePlayed(UINT id, std::vector<std::int16_t>& into) {
  into.clear();
  ReadDevice(*shared_, WaveDirection::Playback, id, [&into](DeviceState* d) {
    if (!d) return;
    std::lock_guard lock(d->mutex);
    std::swap(d->played, into);
  });
}

std::uint64_t VirtualDriver::UnderflowFrames(UINT id) const {
  return ReadDevice(*shared_, WaveDirection::Playback, id, [](DeviceState* d) {
    if (!d) return std::uint64_t{0};
    std::lock_guard lock(d->mutex);
    return d->underflowFrames;
  });
}

std::uint64_t VirtualDriver::OverflowFrames(UINT id) const {
  return ReadDevice(*shared_, WaveDirection::Capture, id, [](DeviceState* d) {
    if (!d) return std::uint64_t{0};
    std::lock_guard lock(d->mutex);
    return d->overflowFrames;
  });
}

void VirtualDriver::FailCall(WaveCall call, MMRESULT code, int skip, int times) {
  std::lock_guard lock(shared_->mutex);
  shared_->faults[static_cast<int>(call)].push_back({code, skip, times});
}

void VirtualDriver::ClearFaults() {
  std::lock_guard lock(shared_->mutex);
  for (auto& rules : shared_->faults) rules.clear();
}

int VirtualDriver::CallCount(WaveCall call) const {
  std::lock_guard lock(shared_->mutex);
  return shared_->calls[static_cast<int>(call)];
}

UINT VirtualDriver::DeviceCount(WaveDirection direction) {
  std::lock_guard lock(shared_->mutex);
  return static_cast<UINT>(shared_->Devices(direction).size());
}

MMRESULT VirtualDriver::Capabilities(WaveDirection direction, UINT id, DeviceCaps& caps) {
  std::lock_guard lock(shared_->mutex);
  const auto& devices = shared_->Devices(direction);
  if (id >= devices.size()) return MMSYSERR_BADDEVICEID;
  const VirtualDevice& device = devices[id]->settings;
  if (device.capsResult != MMSYSERR_NOERROR) return device.capsResult;
  caps = {device.mid,
          device.pid,
          device.driverVersion,
          device.name,
          device.formats,
          device.channels,
          direction == WaveDirection::Playback ? device.support : 0};
  return MMSYSERR_NOERROR;
}

bool VirtualDriver::Loops(UINT capture, UINT playback) {
  std::lock_guard lock(shared_->mutex);
  if (capture >= shared_->capture.size() || playback >= shared_->playback.size()) return false;
  return shared_->capture[capture]->monitored.lock() == shared_->playback[playback];
}

MMRESULT VirtualDriver::Open(WaveDirection direction, UINT id, const WAVEFORMATEX& format,
                             std::shared_ptr<StreamEndpoint> endpoint,
                             std::unique_ptr<DevicePort>& port) {
  std::shared_ptr<CompletionOrder> order;
  std::chrono::microseconds bound{};
  {
    std::lock_guard lock(shared_->mutex);
    auto& devices = shared_->Devices(direction);
    if (id >= devices.size()) return MMSYSERR_BADDEVICEID;
    const auto& device = devices[id];
    if (device->settings.openResult != MMSYSERR_NOERROR) return device->settings.openResult;
    if (!IsProgramFormat(format)) return WAVERR_BADFORMAT;
    if (device->openStreams > 0) return MMSYSERR_ALLOCATED;
    if (direction == WaveDirection::Playback && device->settings.halfDuplex &&
        id < shared_->capture.size() && shared_->capture[id]->openStreams > 0) {
      return MMSYSERR_ALLOCATED;
    }
    auto record = std::make_shared<StreamRecord>();
    record->device = device;
    record->rate = static_cast<std::int32_t>(format.nSamplesPerSec);
    record->endpoint = endpoint;
    ++device->openStreams;
    shared_->streams.push_back(record);
    port = std::make_unique<VirtualPort>(shared_, std::move(record));
    order = shared_->order;
    bound = shared_->orderBound;
  }
  // Outside the card's lock: the stream takes its own.
  if (order) endpoint->OrderCompletions(order, bound);
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualDriver::Injected(WaveCall call) {
  std::lock_guard lock(shared_->mutex);
  const int index = static_cast<int>(call);
  ++shared_->calls[index];
  auto& rules = shared_->faults[index];
  if (rules.empty()) return MMSYSERR_NOERROR;
  Fault& rule = rules.front();
  if (rule.skip > 0) {
    --rule.skip;
    return MMSYSERR_NOERROR;
  }
  const MMRESULT code = rule.code;
  if (rule.times > 0 && --rule.times == 0) rules.pop_front();
  return code;
}
