// TComponent: the base of the non-visual components a form holds (the tray icon, the popup
// menu and its items). A component belongs to its owner, any QObject (a form is a widget),
// and is destroyed with it; it has a name, a tag, and knows whether it sits in a form
// designer rather than in a running program.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "platform/notify_event.h"

// A mouse event: the button, the keyboard modifiers held, and a position.
using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;

class TComponent : public QObject {
 public:
  // `AOwner` may be nullptr for a component that its creator deletes itself.
  explicit TComponent(QObject* AOwner);

  QObject* Owner() const { return parent(); }
  QString Name() const { return objectName(); }

  // A form designer sets this on the components of the form it edits; in a running program
  // it stays false. Components that preview themselves while designed read it.
  bool Designing() const { return designing_; }
  void SetDesigning(bool Designing) { designing_ = Designing; }

  int Tag = 0;  // free for the program's own use

 private:
  bool designing_ = false;
};
