// The handlers of the echo sliders and presets, of the rate and buffer size, and of the
// device selectors. The rules themselves are plain functions of echo/ and audio/.
#include <QLabel>
#include <QLocale>

#include "audio/buffer_rules.h"
#include "audio/device_check.h"
#include "audio/engine_state.h"
#include "echo/echo_rules.h"
#include "echo/echo_settings.h"
#include "panel/tform1.h"
#include "platform/toolkit/fitted_text.h"
#include "platform/toolkit/tcombobox.h"
#include "platform/toolkit/tspinedit.h"
#include "platform/toolkit/ttrackbar.h"
#include "platform/waveaudio/wave_driver.h"

void TForm1::TrackBar1Change(QObject*) {
  Label3->setText(QString::fromStdString(DelayText(TrackBar1->Position(), SampleRate)));
  ApplyEchoDelay(TrackBar1->Position());
}

void TForm1::TrackBar2Change(QObject*) {
  Label4->setText(QString::number(TrackBar2->Position() - 1));
  ApplyEchoRepeats(TrackBar2->Position());
  UpdateDelayMax();
}

void TForm1::UpdateDelayMax() {
  TrackBar1->SetMax(DelayMaximum(BufferSize, TrackBar2->Position()));  // lowers the delay
  TrackBar1Change(this);
}

void TForm1::TrackBar3Change(QObject*) {
  const VolumeRange range =
      SlideVolumeRange({TrackBar3->Min(), TrackBar3->Max()}, TrackBar3->Position());
  // Widened first, so that neither setter clamps the position on the way.
  TrackBar3->SetMax(std::max(range.max, TrackBar3->Max()));
  TrackBar3->SetMin(range.min);
  TrackBar3->SetMax(range.max);
  ApplyEchoVolume(TrackBar3->Position());
  // The rule writes a point; the user's own separator may be any character.
  Label17->setText(
      QString::fromStdString(GainText(EchoVolume, '.')).replace('.', QLocale().decimalPoint()));
}

void TForm1::TrackBar3Enter(QObject*) {
  ComboBox2->SetItemIndex(0);
}

void TForm1::ComboBox2Change(QObject*) {
  if (const Preset* preset = PresetAt(ComboBox2->ItemIndex())) {
    ApplyPreset(preset->delayMs, preset->echoes, preset->volume);
  }
}

void TForm1::ApplyPreset(std::int32_t DelayMs, std::int32_t Echoes, std::int32_t Volume) {
  // The bars clamp each position into their range, so the rule's steps need only set them.
  ApplyPresetSteps(
      {"", DelayMs, Echoes, Volume}, SampleRate,
      [this](std::int32_t repeats) {
        TrackBar2->SetPosition(repeats);
        TrackBar2Change(this);
      },
      [this](std::int32_t delay) {
        TrackBar1->SetPosition(delay);
        TrackBar1Change(this);
      },
      [this](std::int32_t volume) {
        TrackBar3->SetPosition(volume);
        TrackBar3Change(this);
        return TrackBar3->Position();
      });
}

void TForm1::ComboBox1Change(QObject*) {
  SampleRate = ComboBox1->Text().toInt();
  SpinEdit3Change(this);
}

void TForm1::SpinEdit3Change(QObject*) {
  // Lowered in a loop rather than one nested handler run per step: the same final state.
  const std::int32_t fitting = FittingMultiplier(SpinEdit3->Value(), SampleRate);
  if (fitting != SpinEdit3->Value()) {
    SpinEdit3->SetValue(fitting);  // runs this handler again, which finds it fits
    return;
  }
  BufferSize = BufferSizeFor(SpinEdit3->Value(), SampleRate);
  Label12->setText(QString::number(ShownBufferSize(BufferSize)));
  UpdateDelayMax();
}

namespace {

void ShowDeviceName(QLabel* label, const std::string& name) {
  label->setText(
      FittedText(QString::fromStdString(name), label->font(), label->contentsRect().size()));
}

// A selector's change: clamp into range (nested runs follow), then read the device.
template <typename Caps, typename GetCaps, typename Count>
void DeviceSelected(TSpinEdit* spin, QLabel* name, Caps& caps, GetCaps getCaps, Count count,
                    const char* error, TForm1& form) {
  const WaveDeviceSnapshot devices;  // the query and the count agree
  if (spin->Value() < 0) spin->SetValue(0);
  if (spin->Value() > spin->MaxValue()) spin->SetValue(spin->MaxValue());
  if (getCaps(static_cast<UINT>(spin->Value()), &caps, sizeof caps)) {
    form.AppendMemoLine(error);
    if (const std::string reason = DriverFailureLine(); !reason.empty()) {
      form.AppendMemoLine(reason);
    }
  }
  spin->SetMaxValue(static_cast<std::int32_t>(count()) - 1);
  ShowDeviceName(name, DeviceName(caps.szPname));
}

}  // namespace

void TForm1::SpinEdit1Change(QObject*) {
  DeviceSelected(SpinEdit1, Label8, InCaps, &waveInGetDevCapsA, &waveInGetNumDevs,
                 "WaveInGetDevCaps Error!", *this);
}

void TForm1::SpinEdit2Change(QObject*) {
  DeviceSelected(SpinEdit2, Label9, OutCaps, &waveOutGetDevCapsA, &waveOutGetNumDevs,
                 "WaveOutGetDevCaps Error!", *this);
}

std::string TForm1::CheckDevices() {
  DeviceCheck check;
  {
    const WaveDeviceSnapshot devices;  // counts, queries and probes on one listing
    check = ::CheckDevices(InCaps, OutCaps);
  }
  if (check.captureMax) SpinEdit1->SetMaxValue(*check.captureMax);
  if (check.captureName) ShowDeviceName(Label8, *check.captureName);
  if (check.playbackMax) SpinEdit2->SetMaxValue(*check.playbackMax);
  if (check.playbackName) ShowDeviceName(Label9, *check.playbackName);
  return check.text;
}
