#include "trayicon/ttrayicon.h"

#include <QCoreApplication>
#include <QString>
#include <algorithm>
#include <cstring>

namespace {

// The mouse messages of the icon arrive as the callback message; the refresh message
// re-sends icon and tool tip once the event loop runs.
constexpr UINT kCallbackMessage = WM_USER + 1;
constexpr UINT kRefreshMessage = WM_USER + 2;

// One fewer than the record's 64-byte field could take with its zero byte.
constexpr qsizetype kToolTipLength = 62;

// Copies `text` into the record's tool tip field, cut on a character boundary so that a tip
// beyond ASCII, whose characters take several bytes, still fits with its zero byte.
void CopyToolTip(const QString& text, char (&field)[64]) {
  const QByteArray utf8 = text.toUtf8();
  qsizetype length = std::min<qsizetype>(utf8.size(), sizeof field - 1);
  // Back off the continuation bytes (10xxxxxx) of a character cut in half.
  if (length < utf8.size()) {
    while (length > 0 && (static_cast<unsigned char>(utf8[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(field, utf8.constData(), static_cast<std::size_t>(length));
  field[length] = '\0';
}

}  // namespace

TTrayIcon::TTrayIcon(QObject* AOwner)
    : TComponent(AOwner),
      icon_(std::make_unique<TIcon>()),
      window_(AllocateHWnd([this](TMessage& message) { WndProc(message); })) {}

TTrayIcon::~TTrayIcon() {
  if (Designing() ? showDesigning_ : active_) DeleteIcon();
  DeallocateHWnd(window_);
}

void TTrayIcon::ReadStoredSettings(const StoredSettings& Settings) {
  if (Settings.Active) SetActive(*Settings.Active);
  if (Settings.ShowDesigning) SetShowDesigning(*Settings.ShowDesigning);
  if (Settings.Icon) icon_->SetPicture(*Settings.Icon);
  if (Settings.ToolTip) SetToolTip(*Settings.ToolTip);
  if (Settings.OnClick) OnClick = Settings.OnClick;
  if (Settings.OnDblClick) OnDblClick = Settings.OnDblClick;
  if (Settings.OnRightClick) OnRightClick = Settings.OnRightClick;
  if (Settings.PopupMenu) SetPopupMenu(Settings.PopupMenu);
}

void TTrayIcon::SetActive(bool Value) {
  if (Value == active_) return;
  active_ = Value;
  if (Designing()) return;
  if (Value) {
    AddIcon();
  } else {
    DeleteIcon();
  }
}

void TTrayIcon::SetShowDesigning(bool Value) {
  if (!Designing() || Value == showDesigning_) return;
  showDesigning_ = Value;
  if (Value) {
    AddIcon();
  } else {
    DeleteIcon();
  }
}

void TTrayIcon::SetIcon(const TIcon* Value) {
  if (Value == icon_.get()) return;
  icon_->Assign(Value);
  ModifyIcon();
}

void TTrayIcon::SetToolTip(const QString& Value) {
  toolTip_ = Value.left(kToolTipLength);
  // Never keep half of a character that needs two UTF-16 units.
  if (!toolTip_.isEmpty() && toolTip_.back().isHighSurrogate()) toolTip_.chop(1);
  ModifyIcon();
}

void TTrayIcon::SetPopupMenu(TPopupMenu* Value) {
  popupMenu_ = Value;
  Shell_NotifyIconMenu(window_, 0, Value);
}

void TTrayIcon::FillIconData() {
  iconData_.cbSize = NOTIFYICONDATAA_V1_SIZE;
  iconData_.hWnd = window_;
  iconData_.uID = 0;
  iconData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  iconData_.uCallbackMessage = kCallbackMessage;
  iconData_.hIcon = icon_->Handle();
  CopyToolTip(toolTip_, iconData_.szTip);
}

bool TTrayIcon::AddIcon() {
  FillIconData();
  const bool added = Shell_NotifyIconA(NIM_ADD, &iconData_) != FALSE;
  // Icon and tool tip loaded after an early add reach the shell with the refresh.
  if (toolTip_.isEmpty()) PostMessageA(window_, kRefreshMessage, 0, 0);
  return added;
}

bool TTrayIcon::ModifyIcon() {
  FillIconData();
  if (!active_) return true;
  return Shell_NotifyIconA(NIM_MODIFY, &iconData_) != FALSE;
}

bool TTrayIcon::DeleteIcon() {
  return Shell_NotifyIconA(NIM_DELETE, &iconData_) != FALSE;
}

void TTrayIcon::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case kRefreshMessage:
      SetToolTip(ToolTip());
      break;
    case kCallbackMessage:
      switch (Message.LParam) {
        case WM_LBUTTONUP:
          if (OnClick) OnClick(this);
          break;
        case WM_LBUTTONDBLCLK:
          if (OnDblClick) OnDblClick(this);
          break;
        case WM_RBUTTONUP:
          HandleRightClick();
          break;
        default:
          break;
      }
      break;
    default:
      Message.Result = DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
      break;
  }
}

void TTrayIcon::HandleRightClick() {
  POINT cursor{};
  GetCursorPos(&cursor);
  const QPointer<TTrayIcon> alive(this);
  if (popupMenu_) {
    SetForegroundWindow(ApplicationHandle());
    QCoreApplication::processEvents();
    // Component or menu may have gone while messages were processed.
    if (alive && popupMenu_) popupMenu_->Popup(cursor.x, cursor.y);
  }
  // Handlers run while the menu was up may have destroyed the component.
  if (alive && OnRightClick)
    OnRightClick(this, Qt::RightButton, Qt::NoModifier, cursor.x, cursor.y);
}
