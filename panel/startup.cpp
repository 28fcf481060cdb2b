// Start-up: the window folded to its panel, every engine setting derived from the
// controls' designed values, "Concert Hall 1" applied, the devices checked, and the About
// dialog shown once soon after.
#include <QLabel>

#include "audio/buffer_rules.h"
#include "audio/device_check.h"
#include "audio/engine_state.h"
#include "echo/echo_rules.h"
#include "panel/tform1.h"
#include "platform/shell/utility_window.h"
#include "platform/shell/winuser.h"
#include "platform/toolkit/tapplication.h"
#include "platform/toolkit/tcombobox.h"
#include "platform/toolkit/tspeedbutton.h"
#include "platform/toolkit/ttimer.h"

void TForm1::FormCreate(QObject*) {
  ShowWindow(ApplicationHandle(), SW_HIDE);  // the window flags keep it off the taskbar
  SetClientHeight(Panel1->height());
  Dragging = false;
  ComboBox1->SetItemIndex(ComboBox1->Items().size() - 1);
  ComboBox1Change(this);  // the rate first: the delay text divides by it
  TrackBar1Change(this);
  TrackBar2Change(this);
  TrackBar3Change(this);
  OutputActive = false;
  InputActive = false;
  PowerOn = SpeedButton2->Down();
  AdvancedShown = SpeedButton1->Down();
  ComboBox2->SetItemIndex(kStartupPresetIndex);
  ComboBox2Change(this);
  Label11->setText("Max.buffer size: " + QString::number(kMaxShownBufferSize));
  SpinEdit3Change(this);
  const std::string problems = CheckDevices();
  // The box keeps to the program's own words; the sound server's reason, if it gave one,
  // waits on the debug page.
  if (const std::string reason = DriverFailureLine(); !problems.empty() && !reason.empty()) {
    AppendMemoLine(reason);
  }
  if (!problems.empty() && Application()) {
    Application()->MessageBox(QString::fromStdString(
        "ERROR: " + problems + " Please correct the error(s) before turning the DSP on!"));
  }
  Timer1->SetEnabled(true);
}

void TForm1::Timer1Timer(QObject*) {
  Timer1->SetEnabled(false);
  if (AboutBox && Application()) Application()->ShowModal(AboutBox);
}
