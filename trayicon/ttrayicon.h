// TTrayIcon: keeps one icon with a tool tip in the desktop's notification area, turns the
// clicks on it into events, and pops a menu up at the pointer on a right click. A form owns
// it like any other component; it knows nothing of the form.
//
// It talks to the notification area through Shell_NotifyIconA with one NOTIFYICONDATAA
// record of its own, and hears back through a hidden utility window: the area posts the
// callback message (WM_USER + 1) there for each mouse message, and the component posts the
// refresh message (WM_USER + 2) to itself when it adds an icon that has no tool tip yet.
// Shell failures are not reported and change no state. Everything runs on the GUI thread.
#pragma once

#include <QPointer>
#include <QString>
#include <memory>
#include <optional>

#include "platform/shell/shellapi.h"
#include "platform/shell/tcomponent.h"
#include "platform/shell/ticon.h"
#include "platform/shell/tpopupmenu.h"
#include "platform/shell/utility_window.h"

class TTrayIcon final : public TComponent {
 public:
  // Nothing is sent to the shell until the icon is activated.
  explicit TTrayIcon(QObject* AOwner);
  // Removes the icon if it is in the notification area.
  ~TTrayIcon() override;
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  // The settings a form keeps for the component, in property order; unset fields are not
  // stored. A designated initializer lists them in that order too.
  struct StoredSettings {
    std::optional<bool> Active = std::nullopt;
    std::optional<bool> ShowDesigning = std::nullopt;
    std::optional<QIcon> Icon = std::nullopt;
    std::optional<QString> ToolTip = std::nullopt;
    NotifyEvent OnClick = nullptr;
    NotifyEvent OnDblClick = nullptr;
    TMouseEvent OnRightClick = nullptr;
    TPopupMenu* PopupMenu = nullptr;
  };
  // Applies a form's stored settings as loading the form does: in property order, through
  // the setters, except the icon picture, which is loaded straight into the component's own
  // icon object and so is not sent to the shell by itself. Stored as Active, a component
  // thus adds its icon before picture and tool tip are there, sends both with the tool tip,
  // and once more when the refresh message it posted is handled.
  void ReadStoredSettings(const StoredSettings& Settings);

  // true puts the icon in the notification area, false takes it out. While designing the
  // value is only recorded.
  bool Active() const { return active_; }
  void SetActive(bool Value);
  // Shows the icon while the component is designed; outside a designer it stays false.
  bool ShowDesigning() const { return showDesigning_; }
  void SetShowDesigning(bool Value);
  // The component's own icon object. Loading a picture into it directly changes nothing in
  // the notification area until the next add or modify.
  TIcon* Icon() const { return icon_.get(); }
  // Copies the picture of `Value` (nullptr: no picture) and sends it if active.
  void SetIcon(const TIcon* Value);
  QString ToolTip() const { return toolTip_; }
  // Keeps the first 62 characters and sends them if active, also when unchanged.
  void SetToolTip(const QString& Value);
  // A menu the component does not own; it pops up on a right click. Cleared when the menu
  // is destroyed. The notification area is told of it too, for hosts that draw it.
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* Value);

  // A left button release over the icon.
  NotifyEvent OnClick;
  // A left double click, between the OnClick of its first and second release.
  NotifyEvent OnDblClick;
  // A right click, after the popup menu (if any) has closed, with the pointer's screen
  // position as it was before the menu opened.
  TMouseEvent OnRightClick;

 private:
  void FillIconData();
  bool AddIcon();
  bool ModifyIcon();
  bool DeleteIcon();
  void WndProc(TMessage& Message);
  void HandleRightClick();

  bool active_ = false;
  bool showDesigning_ = false;
  std::unique_ptr<TIcon> icon_;
  QString toolTip_;
  QPointer<TPopupMenu> popupMenu_;
  NOTIFYICONDATAA iconData_{};
  HWND window_ = nullptr;
};
