// The Power button, "Echo active" and the way out.
#include <QApplication>
#include <QTabWidget>

#include "audio/device_check.h"
#include "audio/engine_state.h"
#include "echo/processor_power.h"
#include "panel/tform1.h"
#include "platform/shell/tmenuitem.h"
#include "platform/toolkit/control_enabling.h"
#include "platform/toolkit/qt_color.h"
#include "platform/toolkit/tapplication.h"
#include "platform/toolkit/tcheckbox.h"
#include "platform/toolkit/tshape.h"
#include "platform/toolkit/tspeedbutton.h"
#include "platform/waveaudio/wave_driver.h"
#include "trayicon/ttrayicon.h"

void TForm1::ShowPowerState(bool on) {
  TrayIcon1->SetToolTip(on ? "Echora: ON" : "Echora: OFF");
  ShowPanelPowerState(on);
}

void TForm1::ShowPanelPowerState(bool on) {
  SetControlEnabled(TabSheet2, !on);
  // The system colours come from the application's palette, not from the page's own,
  // which holds the colour set last time; the disabled group keeps the style's grey.
  const QColor text = ToQColor(on ? clGrayText : clWindowText, QApplication::palette(TabSheet2));
  QPalette palette = TabSheet2->palette();
  palette.setColor(QPalette::Active, QPalette::WindowText, text);
  palette.setColor(QPalette::Inactive, QPalette::WindowText, text);
  TabSheet2->setPalette(palette);
  SetControlEnabled(CheckBox1, on);
  Shape1->SetBrushColor(on ? clLime : clWhite);
}

void TForm1::StopEcho() {
  CheckBox1->SetChecked(false);  // its handler wakes the thread, which then leaves
  AwaitEchoEnd(EchoProcess, [] {
    if (Application()) Application()->ProcessMessages();
  });
}

void TForm1::SpeedButton2Click(QObject*) {
  // Disabled for the sequence, the button loses the focus; a keyboard user gets it back.
  const bool focused = SpeedButton2->hasFocus();
  SetControlEnabled(SpeedButton2, false);
  if (!PowerOn) {
    std::string loop;
    {
      const WaveDeviceSnapshot devices;  // the pair checked is the pair opened
      loop = FeedbackLoopText(static_cast<UINT>(CaptureDeviceNumber()),
                              static_cast<UINT>(PlaybackDeviceNumber()));
      if (loop.empty()) {
        PowerOn = true;
        ShowPowerState(true);
        PowerUpEngine(EchoProcess);  // pool, capture, playback, then CheckBox1Click's thread
      }
    }
    // A pair that would echo its own output is refused before anything opens, and the
    // button goes back up: the processor stays off until the user chooses again. The box
    // comes after the device list is let go, so that a device plugged in meanwhile counts.
    if (!loop.empty()) SpeedButton2->SetDown(false);
    SpeedButton2->setEnabled(true);
    if (!loop.empty() && Application()) Application()->MessageBox(QString::fromStdString(loop));
    if (focused) SpeedButton2->setFocus(Qt::OtherFocusReason);
    Close1->SetEnabled(!PowerOn);
    return;
  }
  const bool ticked = CheckBox1->Checked();
  StopEcho();
  PowerOn = false;
  ShowPowerState(false);
  PowerDownEngine();
  CheckBox1->SetChecked(ticked);  // starts nothing: both streams are stopped
  SpeedButton2->setEnabled(true);
  if (focused) SpeedButton2->setFocus(Qt::OtherFocusReason);
  Close1->SetEnabled(true);
}

void TForm1::CheckBox1Click(QObject*) {
  // A running thread reads the tick itself; the wake-up makes a sleeping one look now.
  WakeEchoThread();
  EchoProcess.StartIfWanted();
}

void TForm1::Close1Click(QObject*) {
  if (PowerOn) {
    // The window closes next: the tool tip, the Power button and "Exit" stay as they are.
    PowerOn = false;
    ShowPanelPowerState(false);
    StopEcho();
    PowerDownEngine();
  }
  close();
}

void TForm1::FormClose(QObject*) {
  CheckBox1->SetChecked(false);
  // Closing the main window ends the program, hidden or not.
  QCoreApplication::quit();
}
