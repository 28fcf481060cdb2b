#include "audio/engine_state.h"

std::atomic<std::int32_t> SampleRate{0};
std::atomic<std::int32_t> BufferSize{0};
std::atomic<std::int32_t> EchoDelay{0};
std::atomic<std::int32_t> EchoStep{0};
std::atomic<std::int32_t> EchoVolume{0};

std::atomic<HWAVEIN> hWaveIn{nullptr};
std::atomic<HWAVEOUT> hWaveOut{nullptr};

HGLOBAL BufferHandle[kPoolBuffers] = {};
std::atomic<std::int16_t*> BufferData[kPoolBuffers] = {};
WAVEHDR WaveHeader[kPoolBuffers] = {};

std::atomic<std::int32_t> bufinnum{0};
std::atomic<std::int32_t> bufoutnum{0};
std::atomic<std::int32_t> InLast{0};
std::atomic<std::int32_t> InNewer{0};
std::atomic<std::int32_t> InOlder{0};
std::atomic<std::int32_t> OutLast{0};

std::atomic<bool> InputActive{false};
std::atomic<bool> OutputActive{false};
std::atomic<bool> FirstInBuffer{false};
std::atomic<bool> FirstOutBuffer{false};
std::atomic<bool> BufferReady{false};

std::atomic<std::uint32_t> EchoWake{0};
std::atomic<std::uint32_t> EchoPassesEnded{0};

void SeeEndedEchoPasses() {
  [[maybe_unused]] const std::uint32_t ended = EchoPassesEnded.load(std::memory_order_acquire);
}

void WakeEchoThread() {
  EchoWake.fetch_add(1);
  EchoWake.notify_all();
}
