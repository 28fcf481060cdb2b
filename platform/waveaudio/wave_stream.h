// One open device behind a handle: the headers prepared for it, its queue, its state and its
// service thread. The waveform calls (mmsystem.cpp) validate their arguments, find the
// stream and call it; the driver moves bytes through it as a StreamEndpoint.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "platform/waveaudio/notice_thread.h"
#include "platform/waveaudio/wave_driver.h"

class WaveStream final : public StreamEndpoint, public std::enable_shared_from_this<WaveStream> {
 public:
  // Calls the program's callback with a notice and its first parameter (does nothing for
  // CALLBACK_NULL). Runs on the service thread.
  using Delivery = std::function<void(UINT uMsg, DWORD_PTR param1)>;

  WaveStream(WaveDirection direction, Delivery deliver);
  ~WaveStream() override;

  WaveDirection direction() const { return direction_; }

  // Binds the driver's side; sends the open notice. Called once, right after the open.
  void Attach(std::unique_ptr<DevicePort> port);

  MMRESULT Prepare(WAVEHDR* header);
  MMRESULT Unprepare(WAVEHDR* header);
  MMRESULT Queue(WAVEHDR* header);
  MMRESULT Start();
  MMRESULT Stop();
  // Lets the notice being delivered finish (a completion may queue one more header from
  // it), then returns every queued header with its notice and waits until they are
  // delivered. From the stream's own callback it waits for nothing.
  MMRESULT Reset();
  // Refuses while headers are queued; otherwise detaches the driver, sends the close notice
  // and ends the service thread.
  MMRESULT Close();

  // StreamEndpoint, for the driver.
  std::size_t Capture(std::size_t bytes, const Fill& fill) override;
  std::size_t Play(std::size_t bytes, const Take& take) override;
  std::size_t FrontBytesLeft() override;
  bool Running() override;
  void Fail(MMRESULT code) override;
  void WaitNoticesDelivered() override;
  bool NoticesDelivered() override;
  void OrderCompletions(std::shared_ptr<CompletionOrder> order,
                        std::chrono::microseconds bound) override;

 private:
  // Takes the front header off the queue, marks it done and hands its notice over; one
  // that completed by moving sound takes its turn in the completion order, if any.
  void CompleteFrontLocked(bool bySound = false);
  void Notify(UINT uMsg, DWORD_PTR param1, bool inTurn = false);
  // Takes this device out of the completion order.
  void LeaveOrderLocked();

  const WaveDirection direction_;
  // Shared with the queued deliveries, which may outlive a stream closed from its own
  // callback.
  const std::shared_ptr<const Delivery> deliver_;

  std::mutex mutex_;
  std::deque<WAVEHDR*> queue_;
  std::unordered_set<WAVEHDR*> prepared_;
  std::size_t playOffset_ = 0;  // bytes of the front header already played
  bool started_ = false;        // capture only
  bool closed_ = false;
  MMRESULT failure_ = MMSYSERR_NOERROR;
  // Shared with the hook calls in flight: a callback may close the device (on the service
  // thread) while another thread is inside a hook, e.g. waveInStop or waveInReset, whose
  // own notice set the callback off. The last of them lets the port go.
  std::shared_ptr<DevicePort> port_;
  std::shared_ptr<CompletionOrder> order_;  // none unless the driver asks for one
  std::chrono::microseconds orderBound_{0};
  NoticeThread notices_;
};
