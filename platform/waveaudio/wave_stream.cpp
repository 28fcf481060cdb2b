#include "platform/waveaudio/wave_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/waveaudio/completion_order.h"

WaveStream::WaveStream(WaveDirection direction, Delivery deliver)
    : direction_(direction), deliver_(std::make_shared<const Delivery>(std::move(deliver))) {}

WaveStream::~WaveStream() {
  // A stream dropped without a close (its driver failed the open, or the program never
  // closed it) still detaches its driver before its queue goes away.
  std::shared_ptr<DevicePort> port;
  {
    std::lock_guard lock(mutex_);
    port = std::move(port_);
  }
}

void WaveStream::Attach(std::unique_ptr<DevicePort> port) {
  {
    std::lock_guard lock(mutex_);
    port_ = std::move(port);
  }
  Notify(direction_ == WaveDirection::Capture ? WIM_OPEN : WOM_OPEN, 0);
}

MMRESULT WaveStream::Prepare(WAVEHDR* header) {
  std::lock_guard lock(mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (failure_ != MMSYSERR_NOERROR) return failure_;
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  if (header->lpData == nullptr || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  header->dwFlags |= WHDR_PREPARED;
  prepared_.insert(header);
  return MMSYSERR_NOERROR;
}

MMRESULT WaveStream::Unprepare(WAVEHDR* header) {
  std::lock_guard lock(mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (!(header->dwFlags & WHDR_PREPARED)) return MMSYSERR_NOERROR;
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~WHDR_PREPARED;
  prepared_.erase(header);
  return MMSYSERR_NOERROR;
}

MMRESULT WaveStream::Queue(WAVEHDR* header) {
  std::shared_ptr<DevicePort> port;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    if (failure_ != MMSYSERR_NOERROR) return failure_;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    if (!(header->dwFlags & WHDR_PREPARED) || !prepared_.contains(header)) {
      return WAVERR_UNPREPARED;
    }
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    if (direction_ == WaveDirection::Capture) header->dwBytesRecorded = 0;
    queue_.push_back(header);
    port = port_;
  }
  if (port) port->OnQueued();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveStream::Start() {
  std::shared_ptr<DevicePort> port;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    if (failure_ != MMSYSERR_NOERROR) return failure_;
    started_ = true;
    port = port_;
  }
  if (port) port->OnStart();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveStream::Stop() {
  std::shared_ptr<DevicePort> port;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    if (failure_ != MMSYSERR_NOERROR) return failure_;
    started_ = false;
    // The buffer being filled comes back with what it holds; empty ones stay queued.
    if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) CompleteFrontLocked();
    port = port_;
  }
  if (port) port->OnStop();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveStream::Reset() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    started_ = false;
  }
  // A completion being delivered may have found its stream running just before the program
  // stopped it, and queue one more header. It is let finish first, so that the queue
  // emptied below is the last one; the program clears its own flag before the reset, so
  // the completions delivered meanwhile queue nothing.
  {
    // A notice held for its turn would hold the reset up: nothing waits from here on.
    std::lock_guard lock(mutex_);
    LeaveOrderLocked();
  }
  notices_.WaitDelivered();
  std::shared_ptr<DevicePort> port;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;  // closed by a callback meanwhile
    while (!queue_.empty()) CompleteFrontLocked();
    port = port_;
  }
  if (port) port->OnReset();
  notices_.WaitDelivered();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveStream::Close() {
  std::shared_ptr<DevicePort> port;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    if (!queue_.empty()) return WAVERR_STILLPLAYING;
    closed_ = true;
    started_ = false;
    prepared_.clear();
    LeaveOrderLocked();
    port = std::move(port_);
  }
  port.reset();
  Notify(direction_ == WaveDirection::Capture ? WIM_CLOSE : WOM_CLOSE, 0);
  notices_.Stop();
  return MMSYSERR_NOERROR;
}

std::size_t WaveStream::Capture(std::size_t bytes, const Fill& fill) {
  std::lock_guard lock(mutex_);
  if (closed_ || !started_) return 0;
  std::size_t taken = 0;
  while (taken < bytes && !queue_.empty()) {
    WAVEHDR* header = queue_.front();
    const std::size_t room = header->dwBufferLength - header->dwBytesRecorded;
    const std::size_t n = std::min(room, bytes - taken);
    fill(reinterpret_cast<std::byte*>(header->lpData) + header->dwBytesRecorded, n);
    header->dwBytesRecorded += static_cast<DWORD>(n);
    taken += n;
    if (header->dwBytesRecorded == header->dwBufferLength) CompleteFrontLocked(true);
  }
  return taken;
}

std::size_t WaveStream::Play(std::size_t bytes, const Take& take) {
  std::lock_guard lock(mutex_);
  if (closed_) return 0;
  std::size_t given = 0;
  while (given < bytes && !queue_.empty()) {
    WAVEHDR* header = queue_.front();
    const std::size_t n =
        std::min<std::size_t>(header->dwBufferLength - playOffset_, bytes - given);
    take(reinterpret_cast<const std::byte*>(header->lpData) + playOffset_, n);
    playOffset_ += n;
    given += n;
    if (playOffset_ == header->dwBufferLength) CompleteFrontLocked(true);
  }
  return given;
}

std::size_t WaveStream::FrontBytesLeft() {
  std::lock_guard lock(mutex_);
  if (closed_ || queue_.empty()) return 0;
  const WAVEHDR* header = queue_.front();
  if (direction_ == WaveDirection::Capture) {
    return started_ ? header->dwBufferLength - header->dwBytesRecorded : 0;
  }
  return header->dwBufferLength - playOffset_;
}

bool WaveStream::Running() {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  return direction_ == WaveDirection::Capture ? started_ : !queue_.empty();
}

void WaveStream::Fail(MMRESULT code) {
  std::lock_guard lock(mutex_);
  if (closed_ || failure_ != MMSYSERR_NOERROR) return;
  failure_ = code;
  started_ = false;
  LeaveOrderLocked();
  while (!queue_.empty()) CompleteFrontLocked();
}

void WaveStream::WaitNoticesDelivered() {
  notices_.WaitDelivered();
}

bool WaveStream::NoticesDelivered() {
  return notices_.Delivered();
}

void WaveStream::CompleteFrontLocked(bool bySound) {
  WAVEHDR* header = queue_.front();
  queue_.pop_front();
  playOffset_ = 0;
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  Notify(direction_ == WaveDirection::Capture ? WIM_DATA : WOM_DONE,
         reinterpret_cast<DWORD_PTR>(header), bySound);
}

void WaveStream::Notify(UINT uMsg, DWORD_PTR param1, bool inTurn) {
  std::shared_ptr<CompletionOrder> order = inTurn ? order_ : nullptr;
  notices_.Post([deliver = deliver_, uMsg, param1, order = std::move(order), direction = direction_,
                 bound = orderBound_] {
    if (order) order->AwaitTurn(direction, bound);
    (*deliver)(uMsg, param1);
    if (order) order->Delivered(direction);
  });
}

void WaveStream::OrderCompletions(std::shared_ptr<CompletionOrder> order,
                                  std::chrono::microseconds bound) {
  std::lock_guard lock(mutex_);
  if (closed_ || failure_ != MMSYSERR_NOERROR) return;
  LeaveOrderLocked();
  order_ = std::move(order);
  orderBound_ = bound;
  if (order_) order_->Join(direction_);
}

void WaveStream::LeaveOrderLocked() {
  if (order_) order_->Leave(direction_);
  order_.reset();
}
