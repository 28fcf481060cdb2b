// The program entry: the title, the main window, the About dialog, the message loop.
#include <QApplication>
#include <memory>

#include "app/about_box.h"
#include "app/program_icon.h"
#include "panel/tform1.h"
#include "platform/toolkit/tapplication.h"
#include "platform/waveaudio/pulse_driver.h"

TAboutBox* AboutBox = nullptr;

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  qt.setApplicationName("echora");
  qt.setWindowIcon(ProgramIcon());
  // Hiding the window or closing the About dialog must not end the program: only closing
  // the main window does, through its close handler.
  qt.setQuitOnLastWindowClosed(false);
  TApplication application;
  application.SetTitle("Tarnwick Echora");

  PulseDriver sound;
  InstallWaveDriver(&sound);
  int code = 0;
  {
    auto form = std::make_unique<TForm1>();  // sets Form1, then runs FormCreate
    auto about = std::make_unique<TAboutBox>();
    AboutBox = about.get();
    form->show();
    code = qt.exec();
    AboutBox = nullptr;
  }  // the About dialog goes first, then the main window with its tray icon
  InstallWaveDriver(nullptr);
  return code;
}
