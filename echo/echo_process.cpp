#include "echo/echo_process.h"

#include <algorithm>
#include <atomic>

#include "audio/engine_state.h"
#include "audio/panel_links.h"
#include "echo/echo_kernel.h"
#include "platform/thread/realtime.h"

namespace {

// Settings and buffer indices are read afresh for every block of this many slots, so a
// change made during a pass takes effect within it.
constexpr std::int32_t kBlockSlots = 4096;

std::atomic<int> loopsRunning{0};

// Counts a thread in for as long as it is inside its loop.
class InLoop {
 public:
  InLoop() { ++loopsRunning; }
  ~InLoop() { --loopsRunning; }
  InLoop(const InLoop&) = delete;
  InLoop& operator=(const InLoop&) = delete;
};

std::int16_t* PoolBuffer(std::int32_t index) {
  return BufferData[std::clamp(index, 0, kPoolBuffers - 1)].load();
}

}  // namespace

int EchoLoopsRunning() {
  return loopsRunning.load();
}

TEchoProcess::TEchoProcess(EchoThreadHolder& holder) : holder_(holder) {
  FreeOnTerminate = true;
  SetPriority(THREAD_PRIORITY_NORMAL);
}

void TEchoProcess::ProduceLedOn() {
  Panel().PaintProduceLed(clRed);
}
void TEchoProcess::ProduceLedOff() {
  Panel().PaintProduceLed(clWhite);
}

bool TEchoProcess::KeepRunning() const {
  return Panel().EchoActive() && !Terminated() && OutputActive && InputActive;
}

void TEchoProcess::Execute() {
  // A pass late by a period is a period played without its echo.
  RequestRealtime(SoundThread::Echo);
  // The pool's size cannot change while the streams run.
  const std::int32_t slots = BufferSize / 2;
  const InLoop counted;
  for (;;) {
    // Sleep until a playback completion announces a period, or until something that ends
    // the thread changes; every such change bumps EchoWake.
    for (;;) {
      const std::uint32_t seen = EchoWake.load();
      if (BufferReady || !KeepRunning()) break;
      EchoWake.wait(seen);
    }
    if (BufferReady && KeepRunning()) Pass(slots);
    if (!KeepRunning() && holder_.LeaveUnless(*this)) return;
  }
}

void TEchoProcess::Pass(std::int32_t slots) {
  Synchronize([this] { ProduceLedOn(); });
  for (std::int32_t begin = 0; begin < slots; begin += kBlockSlots) {
    // The streams, and so this thread, run only on a whole pool.
    std::int16_t* older = PoolBuffer(InOlder);
    const std::int16_t* newer = PoolBuffer(InNewer);
    const EchoSettings settings{EchoStep, EchoDelay, EchoVolume, BufferSize};
    EchoBlock(older, newer, slots, begin, std::min(slots, begin + kBlockSlots), settings);
  }
  EchoPassesEnded.fetch_add(1, std::memory_order_release);
  Synchronize([this] { ProduceLedOff(); });
  BufferReady = false;
}

EchoThreadHolder::~EchoThreadHolder() {
  Terminate();
  // The thread takes this lock as it leaves, so waiting must not hold it.
  while (Running()) {
    ThreadRef thread;
    {
      std::lock_guard lock(mutex_);
      thread = thread_;
    }
    thread.WaitFor(std::chrono::milliseconds(10));
  }
}

void EchoThreadHolder::StartIfWanted() {
  std::lock_guard lock(mutex_);
  if (!(Panel().EchoActive() && OutputActive && InputActive) || running_) return;
  running_ = true;
  // The new thread cannot leave, and so free itself, before this lock is released.
  thread_ = TThread::Create<TEchoProcess>(*this)->Ref();
}

void EchoThreadHolder::Terminate() {
  {
    std::lock_guard lock(mutex_);
    thread_.Terminate();
  }
  WakeEchoThread();
}

bool EchoThreadHolder::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

ThreadRef EchoThreadHolder::Thread() const {
  std::lock_guard lock(mutex_);
  return thread_;
}

bool EchoThreadHolder::LeaveUnless(const TEchoProcess& thread) {
  std::lock_guard lock(mutex_);
  if (thread.KeepRunning()) return false;
  running_ = false;
  return true;
}
