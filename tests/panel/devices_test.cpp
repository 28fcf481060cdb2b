// The devices as the window sees them: what start-up reports in its message box, what the
// Setup page's selectors then offer, and the selectors when devices go away.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "platform/toolkit/tspinedit.h"
#include "tests/panel/window_rig.h"

namespace {

VirtualDevice Named(const char* name, bool halfDuplex = false) {
  VirtualDevice device;
  device.name = name;
  device.halfDuplex = halfDuplex;
  return device;
}

struct StartUpCase {
  const char* what;
  WindowRig::Devices devices;
  // The message box, empty when none is shown.
  QString box;
  int captureMax;
  int playbackMax;
  QString captureName;
  QString playbackName;
  // A failure names the case, not its bytes.
  friend void PrintTo(const StartUpCase& c, std::ostream* os) { *os << c.what; }
};

const QString kTail = " Please correct the error(s) before turning the DSP on!";

class StartUpCheck : public ::testing::TestWithParam<StartUpCase> {};

TEST_P(StartUpCheck, ReportsInOneBoxAndSetsTheSelectors) {
  const StartUpCase& c = GetParam();
  WindowRig rig(c.devices);
  TForm1& f = *rig.form;
  if (c.box.isEmpty()) {
    EXPECT_TRUE(rig.boxes.Texts().empty());
  } else {
    EXPECT_EQ(rig.boxes.Texts(), std::vector<QString>{c.box});
    EXPECT_EQ(rig.boxes.Titles(), std::vector<QString>{"Tarnwick Echora"});
  }
  EXPECT_EQ(f.SpinEdit1->MaxValue(), c.captureMax);
  EXPECT_EQ(f.SpinEdit2->MaxValue(), c.playbackMax);
  EXPECT_EQ(f.SpinEdit1->Value(), 0);
  EXPECT_EQ(f.SpinEdit2->Value(), 0);
  EXPECT_EQ(f.Label8->text(), c.captureName);
  EXPECT_EQ(f.Label9->text(), c.playbackName);
  EXPECT_TRUE(rig.Memo().empty());
}

// The boxes show the check's carriage returns as line breaks.
INSTANTIATE_TEST_SUITE_P(
    Window, StartUpCheck,
    ::testing::Values(
        StartUpCase{"NoDeviceAtAll", [](VirtualDriver&) {},
                    "ERROR:  No recording device present! No playing device present!" + kTail, 0, 0,
                    "Label8", "Label9"},
        StartUpCase{"CaptureOnly",
                    [](VirtualDriver& card) { card.AddCaptureDevice(Named("Line In")); },
                    "ERROR:  No playing device present!" + kTail, 0, 0, "Line In", "Label9"},
        StartUpCase{"OneOfEachThatCannotRunTogether",
                    [](VirtualDriver& card) {
                      card.AddCaptureDevice(Named("Mic"));
                      card.AddPlaybackDevice(Named("Speakers", true));
                    },
                    "ERROR:  Only ONE waveIn/waveOut device and it is NOT capable of FULL "
                    "DUPLEX.\n You should install full duplex drivers for your soundcard!\n" +
                        kTail,
                    0, 0, "Mic", "Speakers"},
        StartUpCase{"TwoCaptureAndOnePlaybackFailingNumberZero",
                    [](VirtualDriver& card) {
                      card.AddCaptureDevice(Named("Mic"));
                      card.AddCaptureDevice(Named("Line In"));
                      card.AddPlaybackDevice(Named("Speakers", true));
                    },
                    "ERROR:  More waveIn/waveOut devices, NONE is capable of FULL DUPLEX.\n"
                    " You should select two different devices that can use same frequency or "
                    "install full duplex drivers for your soundcard!\n"
                    " Select devices and frequency in Advanced.Setup.\n" +
                        kTail,
                    1, 0, "Mic", "Speakers"},
        StartUpCase{"ThreeOfEachWhereOnlyNumberTwoPasses",
                    [](VirtualDriver& card) {
                      for (int i = 0; i < 3; ++i) {
                        card.AddCaptureDevice(Named("In"));
                        card.AddPlaybackDevice(Named("Out", i != 2));
                      }
                    },
                    "", 2, 2, "In", "Out"},
        StartUpCase{"ACaptureDeviceThatCannotOpen",
                    [](VirtualDriver& card) {
                      VirtualDevice mic = Named("Mic");
                      mic.openResult = WAVERR_BADFORMAT;
                      card.AddCaptureDevice(mic);
                      card.AddPlaybackDevice(Named("Speakers"));
                    },
                    "", 0, 0, "Mic", "Speakers"}),
    [](const auto& info) { return std::string(info.param.what); });

class Selectors : public ::testing::Test {
 protected:
  WindowRig rig{[](VirtualDriver& card) {
    card.AddCaptureDevice(Named("Mic"));
    card.AddCaptureDevice(Named("Line In"));
    card.AddPlaybackDevice(Named("Speakers"));
    card.AddPlaybackDevice(Named("Headphones"));
  }};
  TForm1& f = *rig.form;
};

TEST_F(Selectors, ChoosingADeviceShowsItsNameAndStaysInRange) {
  f.SpinEdit1->setFocus();
  QTest::keyClick(f.SpinEdit1, Qt::Key_Up);
  EXPECT_EQ(f.SpinEdit1->Value(), 1);
  EXPECT_EQ(f.Label8->text(), "Line In");
  QTest::keyClick(f.SpinEdit1, Qt::Key_Up);  // no device 2
  EXPECT_EQ(f.SpinEdit1->Value(), 1);
  f.SpinEdit2->SetValue(1);
  EXPECT_EQ(f.Label9->text(), "Headphones");
  EXPECT_TRUE(rig.Memo().empty());
}

// Every capture device unplugged after start-up: the selector's maximum becomes -1, and the
// handler must settle instead of setting -1 and 0 in turn for ever. Each press of an arrow
// reads the device shown again and reports it gone.
TEST_F(Selectors, AllDevicesOfAKindUnpluggedSettlesAndEveryArrowReportsIt) {
  f.SpinEdit1->SetValue(1);
  rig.card.RemoveCaptureDevice(1);
  rig.card.RemoveCaptureDevice(0);
  f.SpinEdit1->setFocus();
  QTest::keyClick(f.SpinEdit1, Qt::Key_Down);  // device 1 read again, then the step to 0
  EXPECT_EQ(f.SpinEdit1->Value(), 0);
  EXPECT_EQ(f.SpinEdit1->MaxValue(), -1);
  EXPECT_EQ(rig.Memo(),
            (std::vector<QString>{"WaveInGetDevCaps Error!", "WaveInGetDevCaps Error!"}));
  EXPECT_EQ(f.Label8->text(), "Line In");    // the record as last read
  QTest::keyClick(f.SpinEdit1, Qt::Key_Up);  // nothing to step to
  QTest::keyClick(f.SpinEdit1, Qt::Key_Down);
  EXPECT_EQ(f.SpinEdit1->Value(), 0);
  EXPECT_EQ(rig.Memo().size(), 4U);

  rig.card.RemovePlaybackDevice(1);
  f.SpinEdit2->SetValue(1);  // device 1 is gone, 0 is left
  EXPECT_EQ(rig.Memo().back(), "WaveOutGetDevCaps Error!");
  EXPECT_EQ(f.SpinEdit2->MaxValue(), 0);
  f.SpinEdit2->setFocus();
  QTest::keyClick(f.SpinEdit2, Qt::Key_Down);  // back into the range, to a device that answers
  EXPECT_EQ(f.SpinEdit2->Value(), 0);
  EXPECT_EQ(f.Label9->text(), "Speakers");
}

// One device of each kind at start-up, so both selectors sit at their maximum, 0.
class SelectorsAfterStartUp : public ::testing::Test {
 protected:
  WindowRig rig;
  TForm1& f = *rig.form;
};

TEST_F(SelectorsAfterStartUp, ADevicePluggedInLaterIsReachedWithOnePressOfUp) {
  rig.card.AddCaptureDevice(Named("USB Mic"));
  f.SpinEdit1->setFocus();
  QTest::keyClick(f.SpinEdit1, Qt::Key_Up);
  EXPECT_EQ(f.SpinEdit1->Value(), 1);
  EXPECT_EQ(f.SpinEdit1->MaxValue(), 1);
  EXPECT_EQ(f.Label8->text(), "USB Mic");
  EXPECT_TRUE(rig.Memo().empty());
}

// The device shown is unplugged: the next press reports it once, then steps onto a device
// that answers.
TEST_F(SelectorsAfterStartUp, TheDeviceShownUnpluggedIsReportedWhenTheSelectorMoves) {
  rig.card.AddPlaybackDevice(Named("Headphones"));
  f.SpinEdit2->setFocus();
  QTest::keyClick(f.SpinEdit2, Qt::Key_Up);
  ASSERT_EQ(f.Label9->text(), "Headphones");
  rig.card.RemovePlaybackDevice(1);
  QTest::keyClick(f.SpinEdit2, Qt::Key_Up);
  EXPECT_EQ(rig.Memo(), std::vector<QString>{"WaveOutGetDevCaps Error!"});
  EXPECT_EQ(f.SpinEdit2->Value(), 0);
  EXPECT_EQ(f.SpinEdit2->MaxValue(), 0);
  EXPECT_EQ(f.Label9->text(), "Speakers");
}

}  // namespace
