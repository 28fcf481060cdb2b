// The echo sliders and presets, the rate and the buffer multiplier, driven through the window
// as a user drives them.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLocale>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "audio/engine_state.h"
#include "echo/echo_rules.h"
#include "platform/toolkit/tcombobox.h"
#include "platform/toolkit/tspeedbutton.h"
#include "platform/toolkit/tspinedit.h"
#include "platform/toolkit/ttrackbar.h"
#include "tests/panel/window_rig.h"

namespace {

constexpr int kCanyon = 3;
constexpr int kSmallRoom2 = 7;
constexpr int kChurch2 = 9;
constexpr int kPartyOverdrive1 = 10;
constexpr int kConcertHall1 = 1;

class Settings : public ::testing::Test {
 protected:
  void ChooseRate(const QString& rate) {
    ChooseItem(f.ComboBox1, static_cast<int>(f.ComboBox1->Items().indexOf(rate)));
    ASSERT_EQ(SampleRate, rate.toInt());
  }
  std::pair<int, int> VolumeRange() const { return {f.TrackBar3->Min(), f.TrackBar3->Max()}; }
  // The invariant every handler leaves: the delay fits the buffer for every tap.
  void ExpectDelayMaximumHolds() const {
    EXPECT_EQ(f.TrackBar1->Max(), (BufferSize / f.TrackBar2->Position()) / 4);
    EXPECT_LE(EchoDelay * f.TrackBar2->Position(), BufferSize / 2);
    EXPECT_EQ(EchoDelay, f.TrackBar1->Position() * 2);
  }
  QString Gain(const char* text) const {
    return QString(text).replace('.', QLocale().decimalPoint());
  }

  WindowRig rig;
  TForm1& f = *rig.form;
};

TEST_F(Settings, CanyonAt44100IsHeldAtTheDelayMaximum) {
  ChooseItem(f.ComboBox2, kCanyon);
  EXPECT_EQ(f.ComboBox2->Text(), "Canyon");
  EXPECT_EQ(f.TrackBar2->Position(), 4);
  EXPECT_EQ(f.TrackBar1->Max(), 22050);
  EXPECT_EQ(f.TrackBar1->Position(), 22050);  // 600 ms would be 26460 frames
  EXPECT_EQ(f.Label3->text(), "22050  500 ms");
  EXPECT_EQ(EchoDelay, 44100);
  EXPECT_EQ(EchoStep, 25);
  ExpectDelayMaximumHolds();
}

TEST_F(Settings, SmallRoom2At11025ShowsOneMillisecondLess) {
  ChooseRate("11025");
  ChooseItem(f.ComboBox2, kSmallRoom2);
  EXPECT_EQ(f.TrackBar1->Position(), 606);
  EXPECT_EQ(f.Label3->text(), "606  54 ms");
  ExpectDelayMaximumHolds();
}

TEST_F(Settings, PartyOverdriveSlidesTheVolumeRangeUpAndConcertHallSlidesItBack) {
  ChooseItem(f.ComboBox2, kPartyOverdrive1);
  EXPECT_EQ(f.TrackBar2->Position(), 1);
  EXPECT_EQ(f.Label4->text(), "0");
  EXPECT_EQ(EchoStep, 100);
  EXPECT_EQ(f.TrackBar1->Position(), 0);
  EXPECT_EQ(f.Label3->text(), "0  0 ms");
  EXPECT_EQ(EchoDelay, 0);
  // 21 passes of 25 up from 1..300.
  EXPECT_EQ(VolumeRange(), std::make_pair(1 + 21 * 25, 300 + 21 * 25));
  EXPECT_EQ(f.TrackBar3->Position(), 800);
  EXPECT_EQ(EchoVolume, 800);
  EXPECT_EQ(f.Label17->text(), Gain("8.00"));

  ChooseItem(f.ComboBox2, kConcertHall1);
  EXPECT_EQ(VolumeRange(), std::make_pair(51, 350));  // stops once 100 is inside
  EXPECT_EQ(f.TrackBar3->Position(), 100);
  EXPECT_EQ(f.Label17->text(), Gain("1.00"));
  EXPECT_EQ(f.Label3->text(), "3528  80 ms");
  ExpectDelayMaximumHolds();
}

TEST_F(Settings, TheVolumeRangeSlidesAtBothEndsAndStaysWithinItsLimits) {
  MoveTrackBar(f.TrackBar3, 300);
  EXPECT_EQ(VolumeRange(), std::make_pair(26, 325));
  EXPECT_EQ(f.TrackBar3->Position(), 300);
  MoveTrackBar(f.TrackBar3, 50);
  EXPECT_EQ(VolumeRange(), std::make_pair(1, 300));
  EXPECT_EQ(f.TrackBar3->Position(), 50);
  MoveTrackBar(f.TrackBar3, 1);  // at the bottom nothing slides
  EXPECT_EQ(VolumeRange(), std::make_pair(1, 300));
  EXPECT_EQ(f.Label17->text(), Gain("0.01"));

  // The keyboard's End, again and again, climbs to the top and no further.
  f.TrackBar3->setFocus();
  for (int i = 0; i < 300; ++i) QTest::keyClick(f.TrackBar3, Qt::Key_End);
  EXPECT_EQ(VolumeRange(), std::make_pair(4701, 5000));
  EXPECT_EQ(f.TrackBar3->Position(), 5000);
  EXPECT_EQ(EchoVolume, 5000);
  EXPECT_EQ(f.Label17->text(), Gain("50.00"));
  for (int i = 0; i < 300; ++i) QTest::keyClick(f.TrackBar3, Qt::Key_Home);
  EXPECT_EQ(VolumeRange(), std::make_pair(1, 300));
  EXPECT_EQ(EchoVolume, 1);
}

TEST_F(Settings, MoreRepeatsLowerTheDelayToTheNewMaximum) {
  MoveTrackBar(f.TrackBar1, 29400);
  EXPECT_EQ(f.Label3->text(), "29400  666 ms");
  MoveTrackBar(f.TrackBar2, 11);
  EXPECT_EQ(f.TrackBar1->Max(), 8018);
  EXPECT_EQ(f.TrackBar1->Position(), 8018);
  EXPECT_EQ(f.Label3->text(), "8018  181 ms");
  EXPECT_EQ(EchoDelay, 16036);
  EXPECT_EQ(f.Label4->text(), "10");
  EXPECT_EQ(EchoStep, 9);
  MoveTrackBar(f.TrackBar2, 1);
  EXPECT_EQ(f.TrackBar1->Max(), 88200);
  EXPECT_EQ(f.TrackBar1->Position(), 8018);  // a higher maximum leaves the delay alone
  ExpectDelayMaximumHolds();
}

TEST_F(Settings, EnteringASliderShowsCustomAndChoosingAPresetAppliesItAgain) {
  ChooseItem(f.ComboBox2, kChurch2);
  const int delay = EchoDelay;
  const int step = EchoStep;
  QTest::mouseClick(f.SpeedButton1, Qt::LeftButton);  // Advanced: the sliders on screen
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  f.TrackBar1->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(f.ComboBox2->Text(), "Custom");
  EXPECT_EQ(EchoDelay, delay);
  EXPECT_EQ(EchoStep, step);
  MoveTrackBar(f.TrackBar1, 100);
  ChooseItem(f.ComboBox2, 0);  // "Custom" itself changes nothing
  EXPECT_EQ(f.TrackBar1->Position(), 100);
  ChooseItem(f.ComboBox2, kChurch2);
  EXPECT_EQ(f.ComboBox2->Text(), "Church 2");
  EXPECT_EQ(EchoDelay, delay);
}

// Going back to the echo page from a control of the Setup page moves no focus onto a
// slider on the way.
TEST_F(Settings, ChangingPagesKeepsThePresetShown) {
  QTest::mouseClick(f.SpeedButton1, Qt::LeftButton);
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  QTabBar* tabs = f.PageControl1->tabBar();
  QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
  f.SpinEdit2->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(f.SpinEdit2->hasFocus());
  QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
  EXPECT_EQ(f.PageControl1->currentIndex(), 0);
  EXPECT_EQ(f.ComboBox2->Text(), "Concert Hall 1");
}

TEST_F(Settings, TheMultiplierIsCappedAt441000Bytes) {
  f.SpinEdit3->setFocus();
  f.SpinEdit3->SetValue(10);
  EXPECT_EQ(BufferSize, 441000);
  QTest::keyClick(f.SpinEdit3, Qt::Key_Up);  // 11 x 44100 is too much
  EXPECT_EQ(f.SpinEdit3->Value(), 10);
  EXPECT_EQ(BufferSize, 441000);
  EXPECT_EQ(f.Label12->text(), "3087000");
  EXPECT_EQ(f.Label12->text(), f.Label11->text().mid(QString("Max.buffer size: ").size()));

  ChooseRate("5510");  // a lower rate keeps the multiplier
  EXPECT_EQ(f.SpinEdit3->Value(), 10);
  EXPECT_EQ(BufferSize, 55100);
  f.SpinEdit3->SetValue(3);
  EXPECT_EQ(BufferSize, 16532);  // 16530 rounded up to whole frames
  f.SpinEdit3->SetValue(81);
  EXPECT_EQ(f.SpinEdit3->Value(), 80);
  EXPECT_EQ(BufferSize, 440800);

  ChooseRate("44100");  // 80 falls to 10
  EXPECT_EQ(f.SpinEdit3->Value(), 10);
  EXPECT_EQ(BufferSize, 441000);
  EXPECT_EQ(f.Label12->text(), "3087000");
  ExpectDelayMaximumHolds();

  f.SpinEdit3->SetValue(2);
  ChooseRate("11025");
  EXPECT_EQ(BufferSize, 22052);
  ChooseRate("33075");
  EXPECT_EQ(BufferSize, 66152);
}

TEST_F(Settings, ARateChangeKeepsTheDelaysFramesUnlessTheMaximumFalls) {
  MoveTrackBar(f.TrackBar1, 29400);
  ChooseRate("22050");
  EXPECT_EQ(BufferSize, 176400);
  EXPECT_EQ(f.TrackBar1->Max(), 14700);
  EXPECT_EQ(f.TrackBar1->Position(), 14700);
  EXPECT_EQ(f.Label3->text(), "14700  666 ms");
  MoveTrackBar(f.TrackBar1, 1000);
  ChooseRate("44100");
  EXPECT_EQ(f.TrackBar1->Position(), 1000);
  EXPECT_EQ(f.Label3->text(), "1000  22 ms");
  ExpectDelayMaximumHolds();
}

}  // namespace
