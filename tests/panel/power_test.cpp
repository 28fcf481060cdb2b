// The Power button, "Echo active" and "Exit" on the virtual sound card: what the window shows,
// which threads run, what is left of the pool, and the sound that comes out.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "audio/engine_state.h"
#include "echo/echo_process.h"
#include "platform/memory/global_memory.h"
#include "platform/shell/tmenuitem.h"
#include "platform/thread/dispatcher.h"
#include "platform/toolkit/tcheckbox.h"
#include "platform/toolkit/tcombobox.h"
#include "platform/toolkit/tshape.h"
#include "platform/toolkit/tspeedbutton.h"
#include "platform/toolkit/tspinedit.h"
#include "platform/toolkit/ttrackbar.h"
#include "platform/waveaudio/capture_source.h"
#include "tests/panel/window_rig.h"
#include "trayicon/ttrayicon.h"

namespace {

// Everything a user can see or set, as text, to compare two moments.
std::map<QString, QString> Controls(TForm1& f) {
  auto bar = [](TTrackBar* b) {
    return QString("%1 %2..%3").arg(b->Position()).arg(b->Min()).arg(b->Max());
  };
  return {
      {"Power", QString::number(f.SpeedButton2->Down())},
      {"Power enabled", QString::number(f.SpeedButton2->isEnabled())},
      {"power LED", QString::number(f.Shape1->BrushColor())},
      {"produce LED", QString::number(f.Shape2->BrushColor())},
      {"tool tip", f.TrayIcon1->ToolTip()},
      {"Exit", QString::number(f.Close1->Enabled())},
      {"Setup", QString::number(f.TabSheet2->isEnabled())},
      {"Setup colour", f.TabSheet2->palette().color(QPalette::Active, QPalette::WindowText).name()},
      {"Echo active", QString("%1 %2").arg(f.CheckBox1->Checked()).arg(f.CheckBox1->isEnabled())},
      {"preset", f.ComboBox2->Text()},
      {"delay", bar(f.TrackBar1) + " " + f.Label3->text()},
      {"repeats", bar(f.TrackBar2) + " " + f.Label4->text()},
      {"volume", bar(f.TrackBar3) + " " + f.Label17->text()},
      {"rate", f.ComboBox1->Text()},
      {"multiplier", QString::number(f.SpinEdit3->Value()) + " " + f.Label12->text()},
      {"devices", QString("%1 %2 %3 %4")
                      .arg(f.SpinEdit1->Value())
                      .arg(f.SpinEdit2->Value())
                      .arg(f.Label8->text(), f.Label9->text())},
      {"engine", QString("%1 %2 %3 %4 %5")
                     .arg(SampleRate.load())
                     .arg(BufferSize.load())
                     .arg(EchoDelay.load())
                     .arg(EchoStep.load())
                     .arg(EchoVolume.load())}};
}

// The pool is the program's only user of global memory blocks.
bool PoolAllocated() {
  return GlobalLiveBlocks() > 0;
}

class Power : public ::testing::Test {
 protected:
  WindowRig rig;
  TForm1& f = *rig.form;
};

TEST_F(Power, OnWithEchoActiveRunsOneEchoThreadAndOffEndsItAndFreesThePool) {
  rig.ClickPower();
  EXPECT_TRUE(f.PowerOn);
  EXPECT_TRUE(f.SpeedButton2->isEnabled());
  EXPECT_FALSE(f.Close1->Enabled());
  EXPECT_TRUE(PoolAllocated());
  EXPECT_TRUE(f.EchoProcess.Running());
  for (int i = 0; i < 6; ++i) rig.RunPeriod();
  EXPECT_EQ(EchoLoopsRunning(), 1);

  rig.ClickPower();
  EXPECT_FALSE(f.PowerOn);
  EXPECT_FALSE(f.EchoProcess.Running());
  EXPECT_EQ(EchoLoopsRunning(), 0);
  EXPECT_FALSE(PoolAllocated());
  EXPECT_TRUE(f.CheckBox1->Checked());  // ticked again, and disabled
  EXPECT_FALSE(f.CheckBox1->isEnabled());
  EXPECT_TRUE(rig.Memo().empty());
  EXPECT_TRUE(rig.boxes.Texts().empty());
}

// Without the echo thread nothing rewrites the buffers: the sound comes back as it was
// captured, and the power-off wait ends although nobody clears the period's flag.
TEST_F(Power, OnWithEchoActiveUntickedPlaysTheCaptureUnchangedAndOffStillEnds) {
  rig.card.SetCaptureSource(0, MakeSine(441.0, 8000));
  rig.form->CheckBox1->SetChecked(false);
  rig.ClickPower();
  EXPECT_FALSE(f.EchoProcess.Running());
  for (int i = 0; i < 10; ++i) rig.RunPeriod();
  EXPECT_TRUE(BufferReady);
  const auto frames = static_cast<std::size_t>(BufferSize / 4);
  const std::vector<std::int16_t> played = rig.card.Played(0);
  ASSERT_GE(played.size(), 10 * 2 * frames);
  std::vector<std::int16_t> heard(10 * 2 * frames);
  MakeSine(441.0, 8000)->Read(heard.data(), 10 * frames, SampleRate);
  // Each period plays what was captured four periods before, untouched.
  for (std::size_t period = 6; period < 10; ++period) {
    EXPECT_TRUE(std::equal(played.begin() + static_cast<std::ptrdiff_t>(period * 2 * frames),
                           played.begin() + static_cast<std::ptrdiff_t>((period + 1) * 2 * frames),
                           heard.begin() + static_cast<std::ptrdiff_t>((period - 4) * 2 * frames)))
        << "period " << period;
  }

  rig.ClickPower();
  EXPECT_FALSE(f.PowerOn);
  EXPECT_FALSE(f.CheckBox1->Checked());
  EXPECT_FALSE(PoolAllocated());
}

TEST_F(Power, UntickingWhileOnEndsTheThreadAndTickingStartsOneAgain) {
  rig.ClickPower();
  rig.RunPeriod();
  f.CheckBox1->SetChecked(false);
  EXPECT_TRUE(QtEventually([&] { return !f.EchoProcess.Running(); })) << "the echo thread to end";
  rig.RunPeriod();
  f.CheckBox1->SetChecked(true);
  EXPECT_TRUE(f.EchoProcess.Running());
  rig.RunPeriod();
  EXPECT_EQ(EchoLoopsRunning(), 1);
}

TEST_F(Power, TheProduceLedIsRedDuringAPassAndWhiteAfter) {
  // Sees each paint through the window, as the engine makes it.
  struct Watch final : PanelLinks {
    explicit Watch(TForm1& form) : form(form) {}
    int CaptureDeviceNumber() override { return form.CaptureDeviceNumber(); }
    int PlaybackDeviceNumber() override { return form.PlaybackDeviceNumber(); }
    bool EchoActive() override { return form.EchoActive(); }
    void PaintProduceLed(TColor colour) override {
      form.PaintProduceLed(colour);
      shown.push_back(form.Shape2->BrushColor());
      passRunning.push_back(BufferReady);
    }
    void AppendMemoLine(const std::string& line) override { form.AppendMemoLine(line); }
    void ShowMessage(const std::string& text) override { form.ShowMessage(text); }
    TForm1& form;
    std::vector<TColor> shown;
    std::vector<bool> passRunning;
  } watch(f);
  rig.ClickPower();
  SetPanelLinks(&watch);
  rig.RunPeriod();
  rig.RunPeriod();
  SetPanelLinks(&f);
  EXPECT_EQ(watch.shown, (std::vector<TColor>{clRed, clWhite, clRed, clWhite}));
  EXPECT_EQ(watch.passRunning, (std::vector<bool>{true, true, true, true}));
  EXPECT_EQ(f.Shape2->BrushColor(), clWhite);
}

TEST_F(Power, OffOnOffLeavesEveryControlAsAtStartUp) {
  const auto atStart = Controls(f);
  rig.ClickPower();
  const auto whileOn = Controls(f);
  EXPECT_EQ(whileOn.at("tool tip"), "Echora: ON");
  EXPECT_EQ(whileOn.at("power LED"), QString::number(clLime));
  EXPECT_EQ(whileOn.at("Setup"), "0");
  EXPECT_NE(whileOn.at("Setup colour"), atStart.at("Setup colour"));
  EXPECT_EQ(whileOn.at("Echo active"), "1 1");
  EXPECT_EQ(whileOn.at("Exit"), "0");
  rig.RunPeriod();
  rig.RunPeriod();
  rig.ClickPower();
  EXPECT_EQ(Controls(f), atStart);
  rig.ClickPower();
  rig.ClickPower();
  EXPECT_EQ(Controls(f), atStart);
}

TEST_F(Power, ACaptureDeviceThatFailsToOpenStillEndsInOnWithTheMemoLines) {
  rig.card.FailCall(WaveCall::waveInOpen, MMSYSERR_ALLOCATED);
  rig.ClickPower();
  EXPECT_TRUE(f.PowerOn);
  EXPECT_EQ(f.TrayIcon1->ToolTip(), "Echora: ON");
  EXPECT_EQ(f.Shape1->BrushColor(), clLime);
  const std::vector<QString> memo = rig.Memo();
  ASSERT_FALSE(memo.empty());
  EXPECT_EQ(memo.front(), "waveInOpen ERROR!");
  EXPECT_NE(std::find(memo.begin(), memo.end(), "waveInStart ERROR!"), memo.end());
  // Playback still runs, and the echo thread with it.
  EXPECT_TRUE(f.EchoProcess.Running());
  rig.RunPeriod();
  rig.ClickPower();
  EXPECT_FALSE(f.PowerOn);
  EXPECT_FALSE(PoolAllocated());
}

TEST_F(Power, ExitWhileOffClosesAtOnceWithoutTouchingTheAudio) {
  auto calls = [this] {
    std::vector<int> counts;
    for (WaveCall call : {WaveCall::waveInOpen, WaveCall::waveOutOpen, WaveCall::waveInClose,
                          WaveCall::waveOutClose}) {
      counts.push_back(rig.card.CallCount(call));
    }
    return counts;
  };
  const std::vector<int> before = calls();  // the start-up check opened and closed both
  rig.ClickExit();
  EXPECT_FALSE(f.isVisible());
  EXPECT_FALSE(f.CheckBox1->Checked());  // unticked as the window closes
  EXPECT_EQ(calls(), before);
  EXPECT_FALSE(PoolAllocated());
}

// "Exit" is disabled while on; reached anyway, it switches off before the window closes.
TEST_F(Power, ExitWhileOnSwitchesOffFirst) {
  rig.ClickPower();
  rig.RunPeriod();
  f.Close1Click(nullptr);
  EXPECT_FALSE(f.isVisible());
  EXPECT_FALSE(f.PowerOn);
  EXPECT_FALSE(f.EchoProcess.Running());
  EXPECT_FALSE(InputActive || OutputActive);
  EXPECT_FALSE(PoolAllocated());
  EXPECT_EQ(f.Shape1->BrushColor(), clWhite);
}

// Power off disables the focused "Echo active"; the preset shown must not change as if the
// user had entered the slider after it.
TEST_F(Power, OffWithTheFocusOnEchoActiveKeepsThePresetShown) {
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  QTest::mouseClick(f.SpeedButton1, Qt::LeftButton);  // Advanced: the echo page
  ChooseItem(f.ComboBox2, 9);
  ASSERT_EQ(f.ComboBox2->Text(), "Church 2");
  rig.ClickPower();
  QTest::mouseClick(f.CheckBox1, Qt::LeftButton);
  ASSERT_TRUE(f.CheckBox1->hasFocus());
  ASSERT_FALSE(f.CheckBox1->Checked());
  rig.ClickPower();
  EXPECT_EQ(f.ComboBox2->Text(), "Church 2");
  EXPECT_FALSE(f.CheckBox1->Checked());
  EXPECT_FALSE(f.TrackBar3->hasFocus());
}

// The chosen input records the chosen output, as a sound server's monitor of a sink does:
// what is played would be recorded, echoed and played again, louder each time.
void SpeakersAndTheirMonitor(VirtualDriver& card) {
  card.AddPlaybackDevice({.name = "Speakers"});
  card.AddCaptureDevice({.name = "Monitor of Speakers", .monitorOf = 0});
  card.AddCaptureDevice({.name = "Line In"});
}

const QString kLoopBox =
    "The input \"Monitor of Speakers\" records the output \"Speakers\": what is played would be "
    "echoed again and again, louder each time. Choose another input or output on the Setup page.";

class PowerOnALoopingPair : public ::testing::Test {
 protected:
  int Opens() const {
    return rig.card.CallCount(WaveCall::waveInOpen) + rig.card.CallCount(WaveCall::waveOutOpen);
  }

  WindowRig rig{SpeakersAndTheirMonitor};
  TForm1& f = *rig.form;
};

TEST_F(PowerOnALoopingPair, SaysSoInABoxAndStaysOffWithNothingOpened) {
  ASSERT_TRUE(rig.boxes.Texts().empty());  // start-up found the devices fine
  const auto atStart = Controls(f);
  const int opens = Opens();  // the start-up check's
  for (int press = 0; press < 2; ++press) {
    rig.boxes.Clear();
    rig.ClickPower();
    EXPECT_EQ(rig.boxes.Texts(), std::vector<QString>{kLoopBox});
    EXPECT_EQ(rig.boxes.Titles(), std::vector<QString>{"Tarnwick Echora"});
    EXPECT_FALSE(f.PowerOn);
    EXPECT_FALSE(f.SpeedButton2->Down());
    EXPECT_EQ(f.Shape1->BrushColor(), clWhite);
    EXPECT_EQ(f.TrayIcon1->ToolTip(), "Echora: OFF");
    EXPECT_TRUE(f.Close1->Enabled());
    EXPECT_EQ(Controls(f), atStart);
    EXPECT_EQ(Opens(), opens);
    EXPECT_FALSE(PoolAllocated());
    EXPECT_FALSE(f.EchoProcess.Running());
  }
  EXPECT_TRUE(rig.Memo().empty());
}

TEST_F(PowerOnALoopingPair, ChoosingAnotherInputThenSwitchesOnAsBefore) {
  rig.ClickPower();
  ASSERT_FALSE(f.PowerOn);
  rig.boxes.Clear();
  f.SpinEdit1->SetValue(1);  // "Line In"
  const int opens = Opens();
  rig.ClickPower();
  EXPECT_TRUE(rig.boxes.Texts().empty());
  EXPECT_TRUE(f.PowerOn);
  EXPECT_TRUE(f.SpeedButton2->Down());
  EXPECT_EQ(f.Shape1->BrushColor(), clLime);
  EXPECT_EQ(f.TrayIcon1->ToolTip(), "Echora: ON");
  EXPECT_FALSE(f.Close1->Enabled());
  EXPECT_EQ(Opens(), opens + 2);
  EXPECT_TRUE(f.EchoProcess.Running());
  rig.ClickPower();
  EXPECT_FALSE(f.PowerOn);
}

TEST_F(PowerOnALoopingPair, GivesAKeyboardUserTheFocusBackOnPowerAfterTheBox) {
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  f.SpeedButton2->setFocus(Qt::TabFocusReason);
  QTest::keyClick(f.SpeedButton2, Qt::Key_Space);
  ASSERT_EQ(rig.boxes.Texts(), std::vector<QString>{kLoopBox});
  EXPECT_FALSE(f.PowerOn);
  // The window is active again once the box has gone.
  EXPECT_TRUE(QtEventually([&] { return f.isActiveWindow(); })) << "the window to be active again";
  EXPECT_TRUE(f.SpeedButton2->hasFocus());
  QTest::keyClick(f.SpeedButton2, Qt::Key_Space);  // the same key tries again
  EXPECT_EQ(rig.boxes.Texts().size(), 2u);
}

// Ends the test program with a message when a step has not ended in ten seconds: a hang
// would otherwise show only as CTest's timeout, with nothing said.
class HangGuard {
 public:
  explicit HangGuard(const char* what)
      : watchdog_([this, what] {
          std::unique_lock lock(mutex_);
          if (!ended_.wait_for(lock, std::chrono::seconds(10), [this] { return done_; })) {
            std::fprintf(stderr, "hung: %s\n", what);
            std::abort();
          }
        }) {}
  ~HangGuard() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    ended_.notify_one();
    watchdog_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread watchdog_;
};

// The window closed by the window manager while a pass waits in its synchronised call for
// the GUI thread to paint the produce LED: the program must still end, and in order.
TEST_F(Power, ClosingTheWindowWhileAPassWaitsForTheGuiThreadEndsInOrder) {
  QueueDispatcher held;  // the echo thread's calls wait here until the GUI thread pumps
  Dispatcher* const qt = GuiDispatcher();
  SetGuiDispatcher(&held);
  rig.ClickPower();
  rig.card.Step(static_cast<std::size_t>(BufferSize / 4));
  EXPECT_TRUE(QtEventually([&] { return held.Queued() > 0; })) << "the pass to paint its LED";
  ASSERT_EQ(held.Queued(), 1u);  // the pass painting its LED red
  ASSERT_TRUE(f.EchoProcess.Running());
  f.close();
  {
    const HangGuard guard("destroying the window while a pass waits for the GUI thread");
    rig.form.reset();
  }
  SetGuiDispatcher(qt);
  EXPECT_EQ(EchoLoopsRunning(), 0);
  EXPECT_FALSE(InputActive || OutputActive);
  EXPECT_FALSE(PoolAllocated());
}

// "Echo active" stays enabled while the power-off waits for the thread; ticking it then
// neither leaves a second thread nor keeps the wait from ending.
TEST_F(Power, TickingEchoActiveDuringThePowerOffWaitStartsNoSecondThread) {
  rig.ClickPower();
  rig.RunPeriod();
  int ticks = 0;
  int mostLoops = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    mostLoops = std::max(mostLoops, EchoLoopsRunning());
    if (f.CheckBox1->isEnabled() && ticks < 50) {
      f.CheckBox1->SetChecked(true);
      ++ticks;
    }
  });
  ticker.start(0);
  rig.ClickPower();
  ticker.stop();
  EXPECT_GT(ticks, 0);
  EXPECT_LE(mostLoops, 1);
  EXPECT_FALSE(f.PowerOn);
  EXPECT_TRUE(QtEventually([] { return EchoLoopsRunning() == 0; })) << "every echo loop to end";
  EXPECT_FALSE(PoolAllocated());
}

}  // namespace
