// The Debug Info page's buttons and the lines they append.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <atomic>
#include <cstring>

#include "audio/engine_state.h"
#include "audio/panel_links.h"
#include "platform/thread/realtime.h"
#include "platform/toolkit/tspeedbutton.h"
#include "tests/panel/window_rig.h"

namespace {

class DebugPage : public ::testing::Test {
 protected:
  std::vector<QString> Press(QPushButton* button) {
    const std::size_t before = rig.Memo().size();
    QTest::mouseClick(button, Qt::LeftButton);
    const std::vector<QString> memo = rig.Memo();
    if (memo.size() < before) return {};  // cleared
    return {memo.begin() + static_cast<std::ptrdiff_t>(before), memo.end()};
  }

  WindowRig rig{[](VirtualDriver& card) {
    VirtualDevice in;
    in.name = "Line In";
    in.mid = 1;
    in.pid = 65535;
    in.formats = 0xFFFFFFFFu;  // shown unsigned
    in.channels = 2;
    card.AddCaptureDevice(in);
    VirtualDevice out;
    out.name = "Speakers";
    out.mid = 7;
    out.pid = 8;
    out.formats = 0x0FFF;
    out.channels = 1;
    out.support = 0x2C;
    card.AddPlaybackDevice(out);
  }};
  TForm1& f = *rig.form;
};

TEST_F(DebugPage, EachButtonAppendsItsLinesAgainAndOnlyClearEmptiesTheMemo) {
  QTest::mouseClick(f.SpeedButton1, Qt::LeftButton);  // the page on screen
  EXPECT_EQ(Press(f.Button1),
            (std::vector<QString>{"WaveInGetNumDevs: 1", "WaveOutGetNumDevs: 1"}));
  EXPECT_EQ(Press(f.Button10),
            (std::vector<QString>{"bufinnum:0", "bufoutnum:0", "passes out of turn:0"}));
  EXPECT_EQ(Press(f.Button3),
            (std::vector<QString>{"Input:", " wMid:1", " wPid:65535", " szPname:Line In",
                                  " dwFormats:4294967295", " wChannels:2", "Output:", " wMid:7",
                                  " wPid:8", " szPname:Speakers", " dwFormats:4095", " wChannels:1",
                                  " dwSupport:44"}));
  const std::vector<QString> memory = Press(f.Button4);
  const char* labels[] = {"MemoryLoad: ",    "TotalPhys: ",    "AvailPhys: ",   "TotalPageFile: ",
                          "AvailPageFile: ", "TotalVirtual: ", "AvailVirtual: "};
  ASSERT_EQ(memory.size(), 7U);
  for (std::size_t i = 0; i < memory.size(); ++i) {
    EXPECT_TRUE(memory[i].startsWith(labels[i])) << memory[i].toStdString();
    bool number = false;
    EXPECT_GE(memory[i].mid(static_cast<qsizetype>(std::strlen(labels[i]))).toLongLong(&number), 0);
    EXPECT_TRUE(number) << memory[i].toStdString();
  }
  EXPECT_EQ(Press(f.Button1).size(), 2U);
  EXPECT_EQ(rig.Memo().size(), 2U + 3 + 13 + 7 + 2);
  Press(f.Button2);
  EXPECT_TRUE(rig.Memo().empty());
}

TEST_F(DebugPage, BuffInfoShowsTheRingIndicesWhileOn) {
  rig.ClickPower();
  rig.RunPeriod();
  rig.RunPeriod();
  const std::vector<QString> lines = Press(f.Button10);
  EXPECT_EQ(lines, (std::vector<QString>{"bufinnum:" + QString::number(bufinnum.load()),
                                         "bufoutnum:" + QString::number(bufoutnum.load()),
                                         "passes out of turn:0"}));
  EXPECT_NE(lines[0], "bufinnum:0");
}

TEST_F(DebugPage, BuffInfoCountsThePassesOutOfTurn) {
  // Capture falls behind, and a playback completion is held for it for a moment only.
  rig.card.OrderCompletions(std::chrono::microseconds(1));
  rig.ClickPower();
  rig.RunPeriod();
  rig.card.Lag(WaveDirection::Capture, static_cast<std::size_t>(BufferSize / 8));
  rig.RunPeriod();
  ASSERT_TRUE(QtEventually([&] { return rig.card.PassesOutOfTurn() > 0; }))
      << "a notice let through out of turn";
  const std::vector<QString> lines = Press(f.Button10);
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[2], "passes out of turn:" + QString::number(rig.card.PassesOutOfTurn()));
}

// A device the service no longer knows: the error line, then the record as it stands. Its
// name field is full, 32 characters without a NUL, and the listing stops at the field's end.
// The program turns real-time requests on as it starts (app/main.cpp), the same way; here
// neither rtkit nor the direct way is to be had.
TEST_F(DebugPage, SaysOnceHowRealTimeSchedulingWentForTheSoundsThreads) {
  std::atomic<int> asked{0};
  const RealtimeAttempt refused{false, "no permission"};
  EnableRealtimeScheduling(&AppendMemoLineFromService,
                           {[&](int) {
                              ++asked;
                              return RealtimeAttempt{false, "rtkit absent"};
                            },
                            [&](int) { return refused; }});
  const QString line =
      "Real-time scheduling: not available (rtkit absent, no permission); running at normal "
      "priority";
  for (int cycle = 0; cycle < 2; ++cycle) {
    const int before = asked;
    rig.ClickPower();  // "Echo active" is ticked: the echo thread starts and asks
    for (int i = 0; i < 10000 && asked == before; ++i) QTest::qWait(1);
    rig.RunPeriod();
    rig.ClickPower();
  }
  DisableRealtimeScheduling();
  for (int i = 0; i < 10000 && rig.Memo().empty(); ++i) QTest::qWait(1);
  EXPECT_GE(asked, 2);
  EXPECT_EQ(rig.Memo(), std::vector<QString>{line});
}

TEST_F(DebugPage, SBInfoForARejectedDeviceListsTheRecordAsItStandsAfterTheErrorLine) {
  rig.card.RemoveCaptureDevice(0);
  std::memset(f.InCaps.szPname, 'A', sizeof f.InCaps.szPname);
  f.InCaps.dwFormats = 0x42424242;  // would show as "BBBB" if the name ran on
  const std::vector<QString> lines = Press(f.Button3);
  ASSERT_EQ(lines.size(), 14U);
  EXPECT_EQ(lines[0], "WaveInGetDevCaps ERROR!");
  EXPECT_EQ(lines[1], "Input:");
  EXPECT_EQ(lines[4], " szPname:" + QString(32, 'A'));
  EXPECT_EQ(lines[5], " dwFormats:1111638594");
  EXPECT_EQ(lines[7], "Output:");
  EXPECT_EQ(lines[10], " szPname:Speakers");
}

}  // namespace
