// The Debug Info page: device counts and capabilities, the ring indices and the memory
// status, listed in the memo.
#include "audio/device_check.h"
#include "audio/engine_state.h"
#include "panel/tform1.h"
#include "platform/memory/global_memory.h"
#include "platform/toolkit/tmemo.h"
#include "platform/toolkit/tspinedit.h"
#include "platform/waveaudio/wave_driver.h"

namespace {

QString Number(long long value) {
  return QString::number(value);
}

// The fields both capability records share, under their heading. 32-bit values are shown
// unsigned, so that no bit mask reads as a negative number.
template <typename Caps>
void ListCaps(TMemo& memo, const char* heading, const Caps& caps) {
  memo.Lines.Add(heading);
  memo.Lines.Add(" wMid:" + Number(caps.wMid));
  memo.Lines.Add(" wPid:" + Number(caps.wPid));
  memo.Lines.Add(" szPname:" + QString::fromStdString(DeviceName(caps.szPname)));
  memo.Lines.Add(" dwFormats:" + Number(caps.dwFormats));
  memo.Lines.Add(" wChannels:" + Number(caps.wChannels));
}

}  // namespace

void TForm1::Button1Click(QObject*) {
  const UINT in = waveInGetNumDevs();
  const UINT out = waveOutGetNumDevs();
  Memo1->Lines.Add("WaveInGetNumDevs: " + Number(in));
  Memo1->Lines.Add("WaveOutGetNumDevs: " + Number(out));
}

void TForm1::Button3Click(QObject*) {
  const auto in = static_cast<UINT>(SpinEdit1->Value());
  const auto out = static_cast<UINT>(SpinEdit2->Value());
  if (waveInGetDevCapsA(in, &InCaps, sizeof InCaps)) Memo1->Lines.Add("WaveInGetDevCaps ERROR!");
  if (waveOutGetDevCapsA(out, &OutCaps, sizeof OutCaps)) {
    Memo1->Lines.Add("WaveOutGetDevCaps ERROR!");
  }
  ListCaps(*Memo1, "Input:", InCaps);
  ListCaps(*Memo1, "Output:", OutCaps);
  Memo1->Lines.Add(" dwSupport:" + Number(OutCaps.dwSupport));
}

void TForm1::Button10Click(QObject*) {
  Memo1->Lines.Add("bufinnum:" + Number(bufinnum));
  Memo1->Lines.Add("bufoutnum:" + Number(bufoutnum));
  // What the indices cannot show: periods whose capture and playback completions came out
  // of turn, each one played without its echo or echoed twice, since the program started.
  Memo1->Lines.Add("passes out of turn:" + Number(static_cast<long long>(WavePassesOutOfTurn())));
}

void TForm1::Button4Click(QObject*) {
  MEMORYSTATUS status;
  GlobalMemoryStatus(&status);
  Memo1->Lines.Add("MemoryLoad: " + Number(status.dwMemoryLoad));
  Memo1->Lines.Add("TotalPhys: " + Number(static_cast<long long>(status.dwTotalPhys)));
  Memo1->Lines.Add("AvailPhys: " + Number(static_cast<long long>(status.dwAvailPhys)));
  Memo1->Lines.Add("TotalPageFile: " + Number(static_cast<long long>(status.dwTotalPageFile)));
  Memo1->Lines.Add("AvailPageFile: " + Number(static_cast<long long>(status.dwAvailPageFile)));
  Memo1->Lines.Add("TotalVirtual: " + Number(static_cast<long long>(status.dwTotalVirtual)));
  Memo1->Lines.Add("AvailVirtual: " + Number(static_cast<long long>(status.dwAvailVirtual)));
}

void TForm1::Button2Click(QObject*) {
  Memo1->Lines.Clear();
}
