// The main window offscreen on the virtual sound card with a stepped clock. The card's
// devices are set up before the window is built, since its start-up checks them; every
// message box shown meanwhile is recorded and closed with OK.
#pragma once

#include <QString>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "panel/tform1.h"
#include "platform/toolkit/tapplication.h"
#include "platform/waveaudio/virtual_driver.h"
#include "tests/support/eventually.h"

class TComboBox;
class TTrackBar;

// gtest prints a QString as its text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

// Serves Qt's event loop until `condition` holds (see EventuallyServing).
template <typename Condition>
bool QtEventually(Condition condition) {
  return EventuallyServing(condition, [] { QTest::qWait(1); });
}

// Records the text of every message box and presses its OK button, for as long as it lives.
class MessageBoxAnswerer {
 public:
  MessageBoxAnswerer();
  std::vector<QString> Texts() const { return texts_; }
  std::vector<QString> Titles() const { return titles_; }
  void Clear();

 private:
  QTimer poll_;
  std::vector<QString> texts_;
  std::vector<QString> titles_;
};

class WindowRig {
 public:
  using Devices = std::function<void(VirtualDriver&)>;
  // "Line In" and "Speakers".
  static void OneOfEach(VirtualDriver& card);

  explicit WindowRig(const Devices& devices = OneOfEach);
  // Switches off first if the test left the processor on and the window open.
  ~WindowRig();

  // A click on the Power button, and on "Exit" in the icon's menu.
  void ClickPower();
  void ClickExit();
  // One buffer period on the card, and the echo pass it started, if any, to its end.
  void RunPeriod();
  // The memo's lines.
  std::vector<QString> Memo() const;

  VirtualDriver card;
  TApplication application;
  MessageBoxAnswerer boxes;
  std::unique_ptr<TForm1> form;
};

// Runs the user's choice of `index` in a combo box, as the arrow key on the closed list does.
void ChooseItem(TComboBox* combo, int index);
// A user move of a track bar to `position`: stored, then its change handler.
void MoveTrackBar(TTrackBar* bar, int position);
