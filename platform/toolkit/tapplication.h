// TApplication: the program's single application object over QApplication. It holds the
// title that captions every message box, processes pending messages on request, shows
// plain message boxes and runs windows modally. While it exists, TThread::Synchronize and
// PostToGui reach the GUI thread through Qt's event loop.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

#include "platform/toolkit/qt_dispatcher.h"

class TApplication {
 public:
  // Needs a QApplication already; at most one TApplication at a time. Installs the GUI
  // dispatcher.
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  QString Title() const { return title_; }
  void SetTitle(const QString& title) { title_ = title; }

  // Handles every message already waiting, the GUI dispatcher's posted calls among them;
  // a QueueDispatcher installed in place of Qt's is pumped too. Never waits for more.
  void ProcessMessages();

  // A modal box with `text` and one OK button, captioned with the title. A carriage return
  // in `text` breaks the line. Returns when the box is closed.
  void MessageBox(const QString& text);

  // The program's main window: modal forms and message boxes are dialogs transient for it,
  // so that the window manager keeps them above it and with it.
  QWidget* MainForm() const { return mainForm_; }
  void SetMainForm(QWidget* form) { mainForm_ = form; }

  // Shows `form` modally: the program's other windows are disabled until it is hidden or
  // closed (or the application quits, which also hides it), then this returns. The
  // notification-area icon stays usable meanwhile. Message boxes are modal the same way.
  // A form that is already visible is refused: the error box "Cannot make a visible window
  // modal", captioned with the title, is shown instead and the form stays as it was. A
  // modal form that the window manager has minimised is brought back instead.
  void ShowModal(QWidget* form);

  // Brings the innermost modal showing back to the front, restored if it was minimised:
  // whoever shows the main window again calls this, so that the window the showing
  // disabled never comes back without the one that holds its input.
  void BringModalToFront();

 private:
  void RunModal(QWidget* form);

  QString title_;
  QtDispatcher dispatcher_;
  QPointer<QWidget> mainForm_;
  std::vector<QPointer<QWidget>> modal_;  // the showings in progress, innermost last
};

// The application object in use; nullptr when there is none.
TApplication* Application();
