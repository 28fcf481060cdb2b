// The window's own behaviour: folding, dragging the borderless strip, hiding and showing,
// and the links through which the engine reaches the panel.
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTabWidget>
#include <QWindow>

#include "audio/engine_state.h"
#include "panel/tform1.h"
#include "platform/shell/skip_taskbar.h"
#include "platform/toolkit/tapplication.h"
#include "platform/toolkit/tcheckbox.h"
#include "platform/toolkit/tmemo.h"
#include "platform/toolkit/tshape.h"
#include "platform/toolkit/tspinedit.h"

void TForm1::SpeedButton1Click(QObject*) {
  if (AdvancedShown) {
    AdvancedShown = false;
    PageControl1->hide();
    SetClientHeight(Panel1->height());
  } else {
    AdvancedShown = true;
    PageControl1->show();
    SetClientHeight(Panel1->height() + PageControl1->height());
  }
}

void TForm1::Panel1MouseDown(QObject*, Qt::MouseButton, int X, int Y) {
  // A Wayland compositor ignores a window that places itself: it is asked to run the drag.
  if (QGuiApplication::platformName() == QLatin1String("wayland") && windowHandle() &&
      windowHandle()->startSystemMove()) {
    return;
  }
  DragX = X;
  DragY = Y;
  Dragging = true;
}

void TForm1::Panel1MouseMove(QObject*, int X, int Y) {
  if (!Dragging) return;
  // The point is converted as one of the window's client area, whichever surface it was
  // taken on: the window has no border, so its client origin is its top-left corner, and it
  // moves by exactly the distance the pointer moved since the button went down.
  const QPoint converted = mapToGlobal(QPoint(X, Y));
  move(converted.x() - DragX, converted.y() - DragY);
}

void TForm1::Panel1MouseUp(QObject*, Qt::MouseButton, int, int) {
  Dragging = false;
}

void TForm1::SpeedButton3Click(QObject*) {
  // Without a notification area there is no icon to come back through: minimise instead.
  if (trayAvailable_) {
    hide();
  } else {
    showMinimized();
  }
}

void TForm1::TrayIcon1DblClick(QObject*) {
  showNormal();
  raise();
  activateWindow();
  // A dialog the window is waiting for comes back with it, above it.
  if (Application()) Application()->BringModalToFront();
}

void TForm1::Properties1Click(QObject* Sender) {
  TrayIcon1DblClick(Sender);
}

void TForm1::Image1Click(QObject*) {
  if (AboutBox && Application()) Application()->ShowModal(AboutBox);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  auto* mouse = dynamic_cast<QMouseEvent*>(event);
  if (!mouse) return QWidget::eventFilter(watched, event);
  const QPoint at = mouse->position().toPoint();
  if (watched == Image1) {
    // A left press released over the image is a click.
    if (event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton &&
        Image1->rect().contains(at)) {
      Image1Click(Image1);
    }
    return false;
  }
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      Panel1MouseDown(watched, mouse->button(), at.x(), at.y());
      return true;
    case QEvent::MouseMove:
      Panel1MouseMove(watched, at.x(), at.y());
      return true;
    case QEvent::MouseButtonRelease:
      Panel1MouseUp(watched, mouse->button(), at.x(), at.y());
      return true;
    default:
      return QWidget::eventFilter(watched, event);
  }
}

void TForm1::showEvent(QShowEvent* event) {
  // The window manager forgets the hint whenever the window is hidden, so it is set anew
  // on every showing.
  if (trayAvailable_) KeepOffTaskbar(this);
  QWidget::showEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose(this);
  QWidget::closeEvent(event);
}

int TForm1::CaptureDeviceNumber() {
  return SpinEdit1->Value();
}
int TForm1::PlaybackDeviceNumber() {
  return SpinEdit2->Value();
}
bool TForm1::EchoActive() {
  return CheckBox1->Checked();
}
void TForm1::PaintProduceLed(TColor colour) {
  Shape2->SetBrushColor(colour);
}
void TForm1::AppendMemoLine(const std::string& line) {
  Memo1->Lines.Add(QString::fromStdString(line));
}
void TForm1::ShowMessage(const std::string& text) {
  if (Application()) Application()->MessageBox(QString::fromStdString(text));
}
