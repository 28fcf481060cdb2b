#include "audio/streams.h"

#include <atomic>
#include <string>

#include "audio/device_check.h"
#include "audio/engine_state.h"
#include "audio/panel_links.h"

WAVEFORMATEX InFormat{};
WAVEFORMATEX OutFormat{};
std::atomic<CompletionHook> CompletionQueueingHook{nullptr};

namespace {

constexpr UINT kHeaderSize = sizeof(WAVEHDR);

void FillFormat(WAVEFORMATEX& format) {
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = static_cast<DWORD>(SampleRate.load());
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  format.cbSize = 0;
}

void RunQueueingHook(UINT uMsg) {
  if (CompletionHook hook = CompletionQueueingHook.load()) hook(uMsg);
}

void Memo(const std::string& line) {
  Panel().AppendMemoLine(line);
}

// The driver's reason for a failed open, which the result code cannot carry.
void MemoDriverFailure() {
  if (const std::string line = DriverFailureLine(); !line.empty()) Memo(line);
}

// Whether the driver's reason has been written for a completion handler's failure since
// capture last started.
std::atomic<bool> ReasonShown{false};

// A waveform call in a completion handler failed, most often because the device or the
// sound server went away under a running stream: the box, and the first time after a
// switch-on the driver's reason as a memo line, which outlasts both the box and the
// driver's own record of it.
void ShowServiceFailure(const std::string& text) {
  ShowMessageFromService(text);
  const std::string line = DriverFailureLine();
  if (!line.empty() && !ReasonShown.exchange(true)) AppendMemoLineFromService(line);
}

std::int32_t NextInRing(std::int32_t index) {
  return index + 1 > kPoolBuffers - 1 ? 0 : index + 1;
}

}  // namespace

bool OpenWaveIn(std::int32_t DeviceId) {
  FillFormat(InFormat);
  HWAVEIN handle = nullptr;
  const MMRESULT result =
      waveInOpen(&handle, static_cast<UINT>(DeviceId), &InFormat,
                 reinterpret_cast<DWORD_PTR>(&WaveInDone), 0, CALLBACK_FUNCTION);
  if (result == MMSYSERR_NOERROR) hWaveIn = handle;
  return result == MMSYSERR_NOERROR;
}

bool OpenWaveOut(std::int32_t DeviceId) {
  FillFormat(OutFormat);
  HWAVEOUT handle = nullptr;
  const MMRESULT result =
      waveOutOpen(&handle, static_cast<UINT>(DeviceId), &OutFormat,
                  reinterpret_cast<DWORD_PTR>(&WaveOutDone), 0, CALLBACK_FUNCTION);
  if (result == MMSYSERR_NOERROR) hWaveOut = handle;
  return result == MMSYSERR_NOERROR;
}

void StartCapture() {
  ReasonShown = false;
  bufinnum = 0;
  InputActive = true;
  if (!OpenWaveIn(Panel().CaptureDeviceNumber())) {
    Memo("waveInOpen ERROR!");
    MemoDriverFailure();
  }
  // Started before any buffer is queued: the device fills whatever arrives from now on.
  if (waveInStart(hWaveIn)) Memo("waveInStart ERROR!");
  FirstInBuffer = true;
  // Buffer 1 first, then buffer 0: the first completion is skipped by the history, so the
  // ring then runs 0, 1, 2, ... from the second on.
  if (MMRESULT r = waveInPrepareHeader(hWaveIn, &WaveHeader[bufinnum + 1], kHeaderSize)) {
    Memo("waveInPrepareHeader FIRST ERROR!" + std::to_string(r));
  }
  if (waveInAddBuffer(hWaveIn, &WaveHeader[bufinnum + 1], kHeaderSize)) {
    Memo("waveInAddBuffer FIRST ERROR!");
  }
  if (waveInPrepareHeader(hWaveIn, &WaveHeader[bufinnum], kHeaderSize)) {
    Memo("waveInPrepareHeader SECOND ERROR!");
  }
  if (waveInAddBuffer(hWaveIn, &WaveHeader[bufinnum], kHeaderSize)) {
    Memo("waveInAddBuffer SECOND ERROR!");
  }
}

void StartPlayback() {
  bufoutnum = 4;
  OutputActive = true;
  // A failed open has no line of its own: it shows in the steps below.
  if (!OpenWaveOut(Panel().PlaybackDeviceNumber())) MemoDriverFailure();
  FirstOutBuffer = true;
  if (waveOutPrepareHeader(hWaveOut, &WaveHeader[bufoutnum - 1], kHeaderSize)) {
    Memo("waveOutPrepareHeader ERROR!");
  }
  if (waveOutWrite(hWaveOut, &WaveHeader[bufoutnum - 1], kHeaderSize)) {
    Memo("waveOutWrite ERROR!");
  }
  if (waveOutPrepareHeader(hWaveOut, &WaveHeader[bufoutnum], kHeaderSize)) {
    Memo("waveOutPrepareHeader ERROR!");
  }
  if (waveOutWrite(hWaveOut, &WaveHeader[bufoutnum], kHeaderSize)) Memo("waveOutWrite ERROR!");
}

void StopCapture() {
  // Cleared first, so that the completions of the reset below queue nothing.
  InputActive = false;
  WakeEchoThread();
  waveInReset(hWaveIn);
  if (waveInStop(hWaveIn)) Memo("waveInStop ERROR!");
  // Usually already unprepared by the reset's completions, which makes this a no-op.
  if (waveInUnprepareHeader(hWaveIn, &WaveHeader[InLast], kHeaderSize)) {
    Panel().ShowMessage("waveInUnprepareHeader ERROR2!");
  }
  if (waveInClose(hWaveIn)) Memo("WaveInClose ERROR!");
}

void StopPlayback() {
  OutputActive = false;
  WakeEchoThread();
  waveOutReset(hWaveOut);
  if (waveOutClose(hWaveOut)) Memo("WaveOutClose ERROR!");
}

void WaveInDone(HWAVEIN, UINT uMsg, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  if (uMsg != WIM_DATA) return;
  // The handler trusts its own bookkeeping, not the header the service names: the device
  // returns buffers in the order they were queued.
  WAVEHDR* finished;
  if (FirstInBuffer) {
    FirstInBuffer = false;
    finished = &WaveHeader[1];  // the one StartCapture queued first
  } else {
    finished = &WaveHeader[InLast];
  }
  if (waveInUnprepareHeader(hWaveIn, finished, kHeaderSize)) {
    ShowServiceFailure("waveInUnprepareHeader ERROR!");
  }
  // One word at a time, oldest first: the echo thread may read the pair in between.
  InOlder = InNewer.load();
  InNewer = InLast.load();
  InLast = bufinnum.load();
  bufinnum = NextInRing(bufinnum);
  if (!InputActive) return;
  RunQueueingHook(uMsg);
  SeeEndedEchoPasses();
  if (waveInPrepareHeader(hWaveIn, &WaveHeader[bufinnum], kHeaderSize)) {
    ShowServiceFailure("waveInPrepareHeader ERROR!");
  }
  if (waveInAddBuffer(hWaveIn, &WaveHeader[bufinnum], kHeaderSize)) {
    ShowServiceFailure("waveInWrite ERROR!");
  }
}

void WaveOutDone(HWAVEOUT, UINT uMsg, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  if (uMsg != WOM_DONE) return;
  WAVEHDR* finished;
  if (FirstOutBuffer) {
    FirstOutBuffer = false;
    finished = &WaveHeader[bufoutnum - 1];  // header 3, queued first by StartPlayback
  } else {
    finished = &WaveHeader[OutLast];
  }
  if (waveOutUnprepareHeader(hWaveOut, finished, kHeaderSize)) {
    ShowServiceFailure("waveOutUnprepareHeader ERROR!");
  }
  OutLast = bufoutnum.load();
  bufoutnum = NextInRing(bufoutnum);
  if (!OutputActive) return;
  // A period has passed: the echo thread may rewrite the older of the two newest captures.
  BufferReady = true;
  WakeEchoThread();
  RunQueueingHook(uMsg);
  SeeEndedEchoPasses();
  if (waveOutPrepareHeader(hWaveOut, &WaveHeader[bufoutnum], kHeaderSize)) {
    ShowServiceFailure("waveOutPrepareHeader ERROR!");
  }
  if (waveOutWrite(hWaveOut, &WaveHeader[bufoutnum], kHeaderSize)) {
    ShowServiceFailure("waveOutWrite ERROR!");
  }
}
