// TForm1: the main window, a borderless strip styled as rack equipment. The top panel holds
// the icon, the Power button and LED, the preset selector, "Advanced" and "Hide"; the page
// control below it ("Echo Generator", "Setup", "Debug Info") unfolds with "Advanced". The
// window is also the engine's panel: device numbers, the "Echo active" tick, the produce
// LED, the debug memo and message boxes.
//
// The handlers keep the names the window was designed with; those of a subsystem are
// defined in that subsystem's file (window.cpp: folding, dragging, hiding; settings.cpp:
// sliders, presets, rate, buffer and devices; power.cpp: the power switch and exit;
// debug_page.cpp: the debug buttons; startup.cpp: FormCreate and the About timer).
#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>

#include "audio/panel_links.h"
#include "echo/echo_process.h"
#include "panel/kept_place.h"
#include "platform/waveaudio/mmsystem.h"

class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;
class TCheckBox;
class TComboBox;
class TImage;
class TMemo;
class TMenuItem;
class TPopupMenu;
class TShape;
class TSpeedButton;
class TSpinEdit;
class TTimer;
class TTrackBar;
class TTrayIcon;

class TForm1 final : public QWidget, public PanelLinks {
  Q_OBJECT

 public:
  // Builds the window as designed, then runs FormCreate.
  TForm1();
  ~TForm1() override;

  // Window state.
  bool PowerOn = false;
  bool AdvancedShown = false;
  bool Dragging = false;
  int DragX = 0;
  int DragY = 0;

  // Top panel.
  QFrame* Panel1;
  TImage* Image1;  // the icon, a button that shows About
  QGroupBox* GroupBox2;
  TSpeedButton* SpeedButton2;  // Power
  TShape* Shape1;              // power LED
  TComboBox* ComboBox2;        // presets
  TSpeedButton* SpeedButton1;  // Advanced
  TSpeedButton* SpeedButton3;  // Hide
  QTabWidget* PageControl1;
  // Echo Generator.
  QWidget* TabSheet1;
  QGroupBox* GroupBox1;
  QLabel* Label15;
  TShape* Shape2;  // produce LED
  TCheckBox* CheckBox1;
  QLabel* Label16;
  QLabel* Label17;
  QLabel* Label7;
  TTrackBar* TrackBar3;  // volume
  QLabel* Label6;
  QLabel* Label3;
  TTrackBar* TrackBar1;  // delay
  QLabel* Label5;
  QLabel* Label4;
  TTrackBar* TrackBar2;  // repeats
  // Setup.
  QWidget* TabSheet2;
  QGroupBox* GroupBox3;
  QLabel* Label1;
  TSpinEdit* SpinEdit1;
  QLabel* Label8;
  QLabel* Label2;
  TSpinEdit* SpinEdit2;
  QLabel* Label9;
  QLabel* Label10;
  TComboBox* ComboBox1;  // sample rates
  QGroupBox* GroupBox4;
  QLabel* Label11;
  QLabel* Label13;
  QLabel* Label12;
  QLabel* Label14;
  TSpinEdit* SpinEdit3;  // buffer multiplier
  // Debug Info.
  QWidget* TabSheet3;
  QPushButton* Button1;
  QPushButton* Button3;
  QPushButton* Button10;
  QPushButton* Button4;
  QPushButton* Button2;
  TMemo* Memo1;
  // Without a place on screen.
  TTrayIcon* TrayIcon1;
  TPopupMenu* PopupMenu1;
  TMenuItem* Properties1;
  TMenuItem* N1;
  TMenuItem* Close1;
  TTimer* Timer1;

  // The capability records the device check and "SB Info" share.
  WAVEINCAPSA InCaps{};
  WAVEOUTCAPSA OutCaps{};
  // The echo thread, if one runs.
  EchoThreadHolder EchoProcess;
  // The About dialog, which the program's entry creates after the window and hands over;
  // none until then.
  QWidget* AboutBox = nullptr;

  // Window (window.cpp).
  void SpeedButton1Click(QObject* Sender);
  void Panel1MouseDown(QObject* Sender, Qt::MouseButton Button, int X, int Y);
  void Panel1MouseMove(QObject* Sender, int X, int Y);
  void Panel1MouseUp(QObject* Sender, Qt::MouseButton Button, int X, int Y);
  void SpeedButton3Click(QObject* Sender);
  void TrayIcon1DblClick(QObject* Sender);
  void Properties1Click(QObject* Sender);
  void Image1Click(QObject* Sender);
  // Echo controls and presets, rate, buffer and devices (settings.cpp).
  void TrackBar1Change(QObject* Sender);
  void TrackBar2Change(QObject* Sender);
  void TrackBar3Change(QObject* Sender);
  void TrackBar3Enter(QObject* Sender);
  void ComboBox2Change(QObject* Sender);
  void UpdateDelayMax();
  void ApplyPreset(std::int32_t DelayMs, std::int32_t Echoes, std::int32_t Volume);
  void ComboBox1Change(QObject* Sender);
  void SpinEdit3Change(QObject* Sender);
  void SpinEdit1Change(QObject* Sender);
  void SpinEdit2Change(QObject* Sender);
  std::string CheckDevices();
  // Power switch and exit (power.cpp).
  void SpeedButton2Click(QObject* Sender);
  void CheckBox1Click(QObject* Sender);
  void Close1Click(QObject* Sender);
  void FormClose(QObject* Sender);
  // Debug page (debug_page.cpp).
  void Button1Click(QObject* Sender);
  void Button3Click(QObject* Sender);
  void Button10Click(QObject* Sender);
  void Button4Click(QObject* Sender);
  void Button2Click(QObject* Sender);
  // Start-up (startup.cpp).
  void FormCreate(QObject* Sender);
  void Timer1Timer(QObject* Sender);

  // PanelLinks.
  int CaptureDeviceNumber() override;
  int PlaybackDeviceNumber() override;
  bool EchoActive() override;
  void PaintProduceLed(TColor colour) override;
  void AppendMemoLine(const std::string& line) override;
  void ShowMessage(const std::string& text) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildTopPanel();
  void BuildEchoPage();
  void BuildSetupPage();
  void BuildDebugPage();
  void BuildComponents();
  void SetClientHeight(int height);
  // Borderless, a strip of rack equipment; off the taskbar only while a notification area
  // holds the icon, since a hidden window would otherwise have no way back.
  static Qt::WindowFlags WindowFlagsFor(bool trayAvailable);
  // The desktop's notification area came or went: the taskbar entry follows, and a hidden
  // window whose last tray went comes back.
  void FollowTray();
  // Switches the visible power state: the icon's tool tip and the panel's part of it.
  void ShowPowerState(bool on);
  // The panel's part: the Setup page, "Echo active" and the power LED.
  void ShowPanelPowerState(bool on);
  // Unticks "Echo active", has the echo thread end and waits, serving messages, until no
  // echo pass can run.
  void StopEcho();
  // Asks for the kept corner back when the window manager moved the window off it.
  void KeepPlace();

  bool trayAvailable_ = true;
  // Where a right button press on a drag surface began, to tell a click from a drag.
  QPoint rightPress_;
  // The top-left corner the window keeps when it folds or unfolds: a window manager that
  // moves it with the new height (sway re-centres it) is asked to put it back.
  KeptPlace keptPlace_;
};

// The main window, set before it is built and never changed afterwards.
extern TForm1* Form1;
