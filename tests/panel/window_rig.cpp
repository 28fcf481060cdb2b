#include "tests/panel/window_rig.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "audio/engine_state.h"
#include "platform/shell/tmenuitem.h"
#include "platform/toolkit/tcombobox.h"
#include "platform/toolkit/tmemo.h"
#include "platform/toolkit/tspeedbutton.h"
#include "platform/toolkit/ttrackbar.h"
#include "tests/support/engine_rig.h"

MessageBoxAnswerer::MessageBoxAnswerer() {
  QObject::connect(&poll_, &QTimer::timeout, [this] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(window);
      if (!box || !box->isVisible()) continue;
      texts_.push_back(box->text());
      titles_.push_back(box->windowTitle());
      box->button(QMessageBox::Ok)->click();
    }
  });
  poll_.start(5);
}

void MessageBoxAnswerer::Clear() {
  texts_.clear();
  titles_.clear();
}

void WindowRig::OneOfEach(VirtualDriver& card) {
  card.AddCaptureDevice({.name = "Line In"});
  card.AddPlaybackDevice({.name = "Speakers"});
}

WindowRig::WindowRig(const Devices& devices) {
  ResetEngineState();
  devices(card);
  InstallWaveDriver(&card);
  application.SetTitle("Tarnwick Echora");
  form = std::make_unique<TForm1>();
  form->show();
}

WindowRig::~WindowRig() {
  if (form && form->PowerOn) ClickPower();
  form.reset();
  InstallWaveDriver(nullptr);
}

void WindowRig::ClickPower() {
  QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
}

void WindowRig::ClickExit() {
  form->Close1->Click();
}

void WindowRig::RunPeriod() {
  card.Step(static_cast<std::size_t>(BufferSize / 4));
  while (BufferReady && form->EchoProcess.Running()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
}

std::vector<QString> WindowRig::Memo() const {
  std::vector<QString> lines;
  for (int i = 0; i < form->Memo1->Lines.Count(); ++i) lines.push_back(form->Memo1->Lines[i]);
  return lines;
}

void ChooseItem(TComboBox* combo, int index) {
  combo->SetItemIndex(index - 1);
  QTest::keyClick(combo, Qt::Key_Down);
}

void MoveTrackBar(TTrackBar* bar, int position) {
  bar->SetPosition(position);
  if (bar->OnChange) bar->OnChange(bar);
}
