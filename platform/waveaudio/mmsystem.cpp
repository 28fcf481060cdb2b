#include "platform/waveaudio/mmsystem.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/handle_table.h"
#include "platform/waveaudio/wave_stream.h"

namespace {

// The name as a capability record holds it: 31 bytes and a NUL. A longer name is cut at a
// character, since a sound server's names are UTF-8, and ends with "…", so that whoever
// shows it can tell it was cut.
std::string RecordName(const std::string& name) {
  constexpr std::size_t room = MAXPNAMELEN - 1;
  if (name.size() <= room) return name;
  constexpr std::string_view ellipsis = "\xE2\x80\xA6";
  std::size_t cut = room - ellipsis.size();
  const auto continuation = [&](std::size_t at) {
    return (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80;
  };
  while (cut > 0 && continuation(cut)) --cut;
  return name.substr(0, cut) + std::string(ellipsis);
}

std::atomic<WaveDriver*> installedDriver{nullptr};

// Open devices by handle, numbered from 0x10000 in steps of 0x10 as the service numbers
// them. A handle is taken before its device opens, because the stream's notices carry it;
// until the open succeeds it names no stream.
using StreamTable = HandleTable<std::shared_ptr<WaveStream>>;

StreamTable& Streams() {
  static StreamTable table([](StreamTable::Number id) { return 0x10000 + (id - 1) * 0x10; });
  return table;
}

std::shared_ptr<WaveStream> Find(const void* handle, WaveDirection direction) {
  std::shared_ptr<WaveStream> found;
  Streams().With(reinterpret_cast<StreamTable::Number>(handle), [&](const auto& stream) {
    if (stream && stream->direction() == direction) found = stream;
  });
  return found;
}

MMRESULT Injected(WaveCall call) {
  WaveDriver* driver = installedDriver.load();
  return driver ? driver->Injected(call) : MMSYSERR_NOERROR;
}

UINT DeviceCount(WaveCall call, WaveDirection direction) {
  WaveDriver* driver = installedDriver.load();
  if (!driver || driver->Injected(call) != MMSYSERR_NOERROR) return 0;
  return driver->DeviceCount(direction);
}

// Fills the first `size` bytes of a capability record, as the service does for a caller
// that passes a shorter record.
template <typename Record>
MMRESULT GetCaps(WaveCall call, WaveDirection direction, UINT id, Record* record, UINT size) {
  if (MMRESULT r = Injected(call)) return r;
  if (record == nullptr || size == 0) return MMSYSERR_INVALPARAM;
  WaveDriver* driver = installedDriver.load();
  if (!driver) return MMSYSERR_NODRIVER;
  if (id >= driver->DeviceCount(direction)) return MMSYSERR_BADDEVICEID;
  DeviceCaps caps;
  if (MMRESULT r = driver->Capabilities(direction, id, caps)) return r;
  Record full{};
  full.wMid = caps.mid;
  full.wPid = caps.pid;
  full.vDriverVersion = caps.driverVersion;
  const std::string name = RecordName(caps.name);
  std::memcpy(full.szPname, name.data(), name.size());
  full.dwFormats = caps.formats;
  full.wChannels = caps.channels;
  if constexpr (requires { full.dwSupport; }) full.dwSupport = caps.support;
  std::memcpy(record, &full, std::min<std::size_t>(size, sizeof full));
  return MMSYSERR_NOERROR;
}

bool WellFormedPcm(const WAVEFORMATEX& f) {
  return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels >= 1 && f.nSamplesPerSec > 0 &&
         (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
         f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 &&
         f.nAvgBytesPerSec == f.nBlockAlign * f.nSamplesPerSec;
}

template <typename Handle, typename Proc>
MMRESULT Open(WaveCall call, WaveDirection direction, Handle* out, UINT id,
              const WAVEFORMATEX* format, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  if (MMRESULT r = Injected(call)) return r;
  const bool query = flags & WAVE_FORMAT_QUERY;
  const DWORD callbackType = flags & CALLBACK_TYPEMASK;
  if (flags & ~(CALLBACK_TYPEMASK | WAVE_FORMAT_QUERY)) return MMSYSERR_INVALFLAG;
  if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_FUNCTION) {
    return MMSYSERR_NOTSUPPORTED;
  }
  if (format == nullptr || (out == nullptr && !query)) return MMSYSERR_INVALPARAM;
  if (callbackType == CALLBACK_FUNCTION && callback == 0) return MMSYSERR_INVALPARAM;
  WaveDriver* driver = installedDriver.load();
  if (!driver) return MMSYSERR_NODRIVER;
  if (id >= driver->DeviceCount(direction)) return MMSYSERR_BADDEVICEID;
  if (!WellFormedPcm(*format)) return WAVERR_BADFORMAT;

  const StreamTable::Number token = Streams().Add(nullptr);
  const Handle handle = reinterpret_cast<Handle>(token);
  WaveStream::Delivery deliver = [](UINT, DWORD_PTR) {};
  if (callbackType == CALLBACK_FUNCTION) {
    const Proc proc = reinterpret_cast<Proc>(callback);
    deliver = [proc, handle, instance](UINT msg, DWORD_PTR param1) {
      proc(handle, msg, instance, param1, 0);
    };
  }
  auto stream = std::make_shared<WaveStream>(direction, std::move(deliver));
  std::unique_ptr<DevicePort> port;
  const MMRESULT opened = driver->Open(direction, id, *format, stream, port);
  if (opened != MMSYSERR_NOERROR || query) {  // a query's port goes: the device was only asked
    Streams().Take(token);
    return opened;
  }
  Streams().With(token, [&](auto& entry) { entry = stream; });
  *out = handle;
  stream->Attach(std::move(port));
  return MMSYSERR_NOERROR;
}

template <typename Handle>
MMRESULT OnHeader(WaveCall call, WaveDirection direction, Handle handle, WAVEHDR* header, UINT size,
                  MMRESULT (WaveStream::*action)(WAVEHDR*)) {
  if (MMRESULT r = Injected(call)) return r;
  auto stream = Find(handle, direction);
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || size != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  return ((*stream).*action)(header);
}

template <typename Handle>
MMRESULT OnStream(WaveCall call, WaveDirection direction, Handle handle,
                  MMRESULT (WaveStream::*action)()) {
  if (MMRESULT r = Injected(call)) return r;
  auto stream = Find(handle, direction);
  if (!stream) return MMSYSERR_INVALHANDLE;
  return ((*stream).*action)();
}

template <typename Handle>
MMRESULT Close(WaveCall call, WaveDirection direction, Handle handle) {
  if (MMRESULT r = Injected(call)) return r;
  auto stream = Find(handle, direction);
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (MMRESULT r = stream->Close()) return r;
  Streams().Take(reinterpret_cast<StreamTable::Number>(handle));
  return MMSYSERR_NOERROR;
}

constexpr auto kIn = WaveDirection::Capture;
constexpr auto kOut = WaveDirection::Playback;

}  // namespace

void InstallWaveDriver(WaveDriver* driver) {
  installedDriver.store(driver);
}
namespace {
int snapshotDepth = 0;  // GUI thread only
}  // namespace

WaveDeviceSnapshot::WaveDeviceSnapshot() : driver_(installedDriver.load()) {
  if (snapshotDepth++ == 0 && driver_) driver_->HoldDeviceList(true);
}

WaveDeviceSnapshot::~WaveDeviceSnapshot() {
  if (--snapshotDepth == 0 && driver_) driver_->HoldDeviceList(false);
}

std::string WaveDriverFailure() {
  WaveDriver* driver = installedDriver.load();
  return driver ? driver->LastFailure() : std::string();
}

bool WaveDevicesLoop(UINT capture, UINT playback) {
  WaveDriver* driver = installedDriver.load();
  return driver && driver->Loops(capture, playback);
}

std::uint64_t WavePassesOutOfTurn() {
  WaveDriver* driver = installedDriver.load();
  return driver ? driver->PassesOutOfTurn() : 0;
}

UINT waveInGetNumDevs() {
  return DeviceCount(WaveCall::waveInGetNumDevs, kIn);
}
UINT waveOutGetNumDevs() {
  return DeviceCount(WaveCall::waveOutGetNumDevs, kOut);
}

MMRESULT waveInGetDevCapsA(UINT uDeviceID, WAVEINCAPSA* pwic, UINT cbwic) {
  return GetCaps(WaveCall::waveInGetDevCapsA, kIn, uDeviceID, pwic, cbwic);
}
MMRESULT waveOutGetDevCapsA(UINT uDeviceID, WAVEOUTCAPSA* pwoc, UINT cbwoc) {
  return GetCaps(WaveCall::waveOutGetDevCapsA, kOut, uDeviceID, pwoc, cbwoc);
}

MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen) {
  return Open<HWAVEIN, WAVEINPROC>(WaveCall::waveInOpen, kIn, phwi, uDeviceID, pwfx, dwCallback,
                                   dwInstance, fdwOpen);
}
MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx,
                     DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen) {
  return Open<HWAVEOUT, WAVEOUTPROC>(WaveCall::waveOutOpen, kOut, phwo, uDeviceID, pwfx, dwCallback,
                                     dwInstance, fdwOpen);
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
  return OnHeader(WaveCall::waveInPrepareHeader, kIn, hwi, pwh, cbwh, &WaveStream::Prepare);
}
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
  return OnHeader(WaveCall::waveInUnprepareHeader, kIn, hwi, pwh, cbwh, &WaveStream::Unprepare);
}
MMRESULT waveInAddBuffer(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
  return OnHeader(WaveCall::waveInAddBuffer, kIn, hwi, pwh, cbwh, &WaveStream::Queue);
}
MMRESULT waveInStart(HWAVEIN hwi) {
  return OnStream(WaveCall::waveInStart, kIn, hwi, &WaveStream::Start);
}
MMRESULT waveInStop(HWAVEIN hwi) {
  return OnStream(WaveCall::waveInStop, kIn, hwi, &WaveStream::Stop);
}
MMRESULT waveInReset(HWAVEIN hwi) {
  return OnStream(WaveCall::waveInReset, kIn, hwi, &WaveStream::Reset);
}
MMRESULT waveInClose(HWAVEIN hwi) {
  return Close(WaveCall::waveInClose, kIn, hwi);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
  return OnHeader(WaveCall::waveOutPrepareHeader, kOut, hwo, pwh, cbwh, &WaveStream::Prepare);
}
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
  return OnHeader(WaveCall::waveOutUnprepareHeader, kOut, hwo, pwh, cbwh, &WaveStream::Unprepare);
}
MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
  return OnHeader(WaveCall::waveOutWrite, kOut, hwo, pwh, cbwh, &WaveStream::Queue);
}
MMRESULT waveOutReset(HWAVEOUT hwo) {
  return OnStream(WaveCall::waveOutReset, kOut, hwo, &WaveStream::Reset);
}
MMRESULT waveOutClose(HWAVEOUT hwo) {
  return Close(WaveCall::waveOutClose, kOut, hwo);
}
