// The window's own behaviour: folding, dragging the borderless strip, hiding and showing,
// and the links through which the engine reaches the panel.
#include <QApplication>
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
#include "platform/shell/sway_ipc.h"
#include "platform/shell/tpopupmenu.h"
#include "platform/shell/tray_hosts.h"
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

void TForm1::Panel1MouseDown(QObject*, Qt::MouseButton Button, int X, int Y) {
  // Where the window manager offers to run the drag, it does: Wayland compositors and some
  // X11 window managers (sway's XWayland) ignore a window that places itself. It moves the
  // window by the pointer's distance too. Its moves follow the left button only.
  keptPlace_.Release();  // the user moves it now
  if (Button == Qt::LeftButton && windowHandle() && windowHandle()->startSystemMove()) return;
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

Qt::WindowFlags TForm1::WindowFlagsFor(bool trayAvailable) {
  return Qt::Window | Qt::FramelessWindowHint | (trayAvailable ? Qt::Tool : Qt::Widget);
}

void TForm1::FollowTray() {
  const bool available = TrayHosts::Instance().Available();
  if (available == trayAvailable_) return;
  trayAvailable_ = available;
  // A window minimised for want of a tray counts as shown (Qt may not have heard it come
  // back): one shown once too often is better than one hidden by mistake.
  const bool shown = isVisible();
  const QPoint place = pos();
  setWindowFlags(WindowFlagsFor(available));  // hides the window
  move(place);
  // Hidden with no tray left, the window would be out of reach: it comes back.
  if (shown || !available) {
    // Qt does not always hear that the taskbar restored a minimised window, and would map
    // it iconified again: the state is set through a change, so that it reaches the native
    // window too.
    setWindowState(Qt::WindowMinimized);
    setWindowState(Qt::WindowNoState);
    showNormal();
    // The window manager may still be finishing the hiding, which drops the hints the
    // showing set: it is asked again now that the window is its own.
    SetTaskbarEntry(this, !available);
    if (Application()) Application()->BringModalToFront();
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
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      if (mouse->button() == Qt::RightButton) rightPress_ = mouse->globalPosition().toPoint();
      Panel1MouseDown(watched, mouse->button(), at.x(), at.y());
      return true;
    case QEvent::MouseMove:
      Panel1MouseMove(watched, at.x(), at.y());
      return true;
    case QEvent::MouseButtonRelease:
      Panel1MouseUp(watched, mouse->button(), at.x(), at.y());
      // Without a notification area the icon's menu, and "Exit" with it, would be nowhere:
      // a right click on the strip shows it. A right drag still moves the window.
      if (mouse->button() == Qt::RightButton && !trayAvailable_ &&
          (mouse->globalPosition().toPoint() - rightPress_).manhattanLength() <
              QApplication::startDragDistance()) {
        PopupMenu1->Popup(rightPress_.x(), rightPress_.y());
      }
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

void TForm1::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  KeepPlace();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  KeepPlace();
}

void TForm1::KeepPlace() {
  // sway centres a floating window anew on every size change; folding keeps the top edge.
  if (const std::optional<QPoint> place = keptPlace_.Seen(pos(), height())) {
    if (!SwayPlaceWindow(static_cast<std::uint32_t>(winId()), *place)) keptPlace_.Release();
  }
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
