// The program entry: the title, the main window, the About dialog, the message loop.
#include <QApplication>
#include <iostream>
#include <memory>

#include "app/about_box.h"
#include "app/command_line.h"
#include "app/display_session.h"
#include "app/single_instance.h"
#include "art/program_icon.h"
#include "audio/panel_links.h"
#include "panel/tform1.h"
#include "platform/shell/utility_window.h"
#include "platform/shell/winuser.h"
#include "platform/thread/realtime.h"
#include "platform/toolkit/tapplication.h"
#include "platform/waveaudio/pulse_driver.h"

TAboutBox* AboutBox = nullptr;

namespace {
constexpr const char* kTitle = "Tarnwick Echora";
}

int main(int argc, char** argv) {
  if (const auto status = HandleCommandLine(argc, argv, std::cout)) return *status;
  ChooseDisplayPlatform();
  QApplication qt(argc, argv);
  // The window class (WM_CLASS "echora") and, on Wayland, the application id by which the
  // desktop finds the installed entry and its icon.
  qt.setApplicationName("echora");
  qt.setDesktopFileName(ECHORA_APP_ID);
  if (QGuiApplication::platformName() == QLatin1String("wayland"))
    std::cerr << kWaylandLimits << '\n';
  qt.setWindowIcon(ProgramIcon());
  // Hiding the window or closing the About dialog must not end the program: only closing
  // the main window does, through its close handler.
  qt.setQuitOnLastWindowClosed(false);
  TApplication application;
  application.SetTitle(kTitle);
  // The application's window carries the title, as the caption tray hosts show.
  SetWindowTextA(ApplicationHandle(), kTitle);

  SingleInstance instance;
  if (!instance.Claim()) {
    std::cerr << "echora: already running on this display; its window is shown\n";
    return 0;
  }

  PulseDriver sound;
  InstallWaveDriver(&sound);
  // The echo and notice threads ask for real time as they start; the outcome goes to the
  // debug page's memo once.
  EnableRealtimeScheduling(&AppendMemoLineFromService);
  int code = 0;
  {
    auto form = std::make_unique<TForm1>();  // sets Form1, then runs FormCreate
    auto about = std::make_unique<TAboutBox>();
    AboutBox = about.get();
    form->AboutBox = AboutBox;
    instance.OnShowRequested = [&form] { form->Properties1Click(form.get()); };
    form->show();
    code = qt.exec();
    AboutBox = nullptr;
  }  // the About dialog goes first, then the main window with its tray icon
  DisableRealtimeScheduling();
  InstallWaveDriver(nullptr);
  return code;
}
