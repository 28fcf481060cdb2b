#include "platform/toolkit/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <algorithm>

#include "platform/toolkit/tcombobox.h"
#include "platform/toolkit/timage.h"
#include "platform/toolkit/tshape.h"
#include "platform/toolkit/tspeedbutton.h"
#include "platform/toolkit/tspinedit.h"
#include "platform/toolkit/ttrackbar.h"

namespace {

// A speed button: a button, checkable with a group index, whose actions are clicks.
class SpeedButtonInterface final : public QAccessibleWidget {
 public:
  explicit SpeedButtonInterface(TSpeedButton* button)
      : QAccessibleWidget(button, QAccessible::Button) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
      return Button()->text().remove(u'&');
    }
    return QAccessibleWidget::text(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    if (Button()->isCheckable()) {
      s.checkable = true;
      s.checked = Button()->isChecked();
      s.pressed = Button()->isChecked();
    }
    return s;
  }
  QStringList actionNames() const override {
    QStringList names{pressAction()};
    if (Button()->isCheckable()) names << toggleAction();
    return names;
  }
  void doAction(const QString& action) override {
    if (!Button()->isEnabled()) return;
    if (action == pressAction() || (action == toggleAction() && Button()->isCheckable())) {
      Button()->click();
    }
  }

 private:
  TSpeedButton* Button() const { return static_cast<TSpeedButton*>(widget()); }
};

// An image that can be clicked: a button.
class ImageInterface final : public QAccessibleWidget {
 public:
  explicit ImageInterface(TImage* image) : QAccessibleWidget(image, QAccessible::Graphic) {}
  // Asked each time: the interface may be made before the image gets its click handler.
  QAccessible::Role role() const override {
    return Image()->Clickable() ? QAccessible::Button : QAccessible::Graphic;
  }
  QStringList actionNames() const override {
    return Image()->Clickable() ? QStringList{pressAction()} : QStringList{};
  }
  void doAction(const QString& action) override {
    if (action == pressAction() && Image()->isEnabled()) Image()->Click();
  }

 private:
  TImage* Image() const { return static_cast<TImage*>(widget()); }
};

// A drop-down list: named by its accessible name, valued by the item shown. (Qt's own names
// it by the item shown on Linux, so that a screen reader heard "Concert Hall 1" for the
// preset list and "44100" for the rate.) Its action opens the list, whose items the
// screen reader then reads as the popup's.
class ComboBoxInterface final : public QAccessibleWidget {
 public:
  explicit ComboBoxInterface(TComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Box()->currentText();
    return QAccessibleWidget::text(t);
  }
  QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
  void doAction(const QString& action) override {
    if ((action == showMenuAction() || action == pressAction()) && Box()->isEnabled()) {
      Box()->showPopup();
    }
  }

 private:
  TComboBox* Box() const { return static_cast<TComboBox*>(widget()); }
};

// A shape: an indicator whose description says what it shows.
class ShapeInterface final : public QAccessibleWidget {
 public:
  explicit ShapeInterface(TShape* shape) : QAccessibleWidget(shape, QAccessible::Indicator) {}
  QString text(QAccessible::Text t) const override {
    const auto* shape = static_cast<TShape*>(widget());
    if (t == QAccessible::Description && shape->StateText) return shape->StateText();
    if (t == QAccessible::Value && shape->StateText) return shape->StateText();
    return QAccessibleWidget::text(t);
  }
};

// A control with a value in a range: the spin edits and the track bars.
template <typename Control>
class ValueInterface final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  ValueInterface(Control* control, QAccessible::Role role) : QAccessibleWidget(control, role) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  // The value as shown is the description too: the accessibility bus carries a value only
  // as a number, which for the volume would be 450 where the window shows "4.50x".
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value || (t == QAccessible::Description && Of()->ShownValue)) {
      return Of()->ShownValue ? Of()->ShownValue() : QString::number(Current());
    }
    return QAccessibleWidget::text(t);
  }
  QVariant currentValue() const override { return Current(); }
  void setCurrentValue(const QVariant&) override {}  // changed by its keys, as by hand
  QVariant maximumValue() const override { return Maximum(); }
  QVariant minimumValue() const override { return Minimum(); }
  QVariant minimumStepSize() const override { return 1; }

 private:
  Control* Of() const { return static_cast<Control*>(widget()); }
  int Current() const;
  int Minimum() const;
  int Maximum() const;
};

template <>
int ValueInterface<TSpinEdit>::Current() const {
  return Of()->Value();
}
template <>
int ValueInterface<TSpinEdit>::Minimum() const {
  return Of()->MinValue();
}
template <>
int ValueInterface<TSpinEdit>::Maximum() const {
  return std::max(Of()->MinValue(), Of()->MaxValue());
}
template <>
int ValueInterface<TTrackBar>::Current() const {
  return Of()->Position();
}
template <>
int ValueInterface<TTrackBar>::Minimum() const {
  return Of()->Min();
}
template <>
int ValueInterface<TTrackBar>::Maximum() const {
  return Of()->Max();
}

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("TSpeedButton")) {
    return new SpeedButtonInterface(static_cast<TSpeedButton*>(object));
  }
  if (className == QLatin1String("TImage")) return new ImageInterface(static_cast<TImage*>(object));
  if (className == QLatin1String("TShape")) return new ShapeInterface(static_cast<TShape*>(object));
  if (className == QLatin1String("TComboBox")) {
    return new ComboBoxInterface(static_cast<TComboBox*>(object));
  }
  if (className == QLatin1String("TSpinEdit")) {
    return new ValueInterface<TSpinEdit>(static_cast<TSpinEdit*>(object), QAccessible::SpinBox);
  }
  if (className == QLatin1String("TTrackBar")) {
    return new ValueInterface<TTrackBar>(static_cast<TTrackBar*>(object), QAccessible::Slider);
  }
  return nullptr;
}

}  // namespace

void InstallToolkitAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}
