// The main window as designed and as it starts, folding, dragging and the power switch,
// offscreen on the virtual sound card.
#include "panel/tform1.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "audio/engine_state.h"
#include "platform/shell/tmenuitem.h"
#include "platform/shell/tpopupmenu.h"
#include "platform/toolkit/tapplication.h"
#include "platform/toolkit/tcheckbox.h"
#include "platform/toolkit/tcombobox.h"
#include "platform/toolkit/timage.h"
#include "platform/toolkit/tmemo.h"
#include "platform/toolkit/tshape.h"
#include "platform/toolkit/tspeedbutton.h"
#include "platform/toolkit/tspinedit.h"
#include "platform/toolkit/ttimer.h"
#include "platform/toolkit/ttrackbar.h"
#include "platform/waveaudio/virtual_driver.h"
#include "tests/panel/window_rig.h"
#include "trayicon/ttrayicon.h"

namespace {

class Window : public ::testing::Test {
 protected:
  WindowRig rig;
  VirtualDriver& card = rig.card;
  std::unique_ptr<TForm1>& form = rig.form;
};

}  // namespace

TEST_F(Window, StartsAsDesignedWithConcertHallOneApplied) {
  TForm1& f = *form;
  EXPECT_EQ(f.windowTitle(), "Tarnwick Echora");
  EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(f.width(), 490);
  EXPECT_EQ(f.height(), 51);
  EXPECT_FALSE(f.PageControl1->isVisible());
  EXPECT_FALSE(f.PowerOn || f.AdvancedShown || f.Dragging);
  EXPECT_TRUE(f.Timer1->Enabled());
  EXPECT_EQ(f.Timer1->Interval(), 200);
  // Engine settings derived from the controls.
  EXPECT_EQ(SampleRate, 44100);
  EXPECT_EQ(BufferSize, 352800);
  EXPECT_EQ(EchoStep, 33);
  EXPECT_EQ(EchoDelay, 7056);
  EXPECT_EQ(EchoVolume, 100);
  EXPECT_FALSE(InputActive || OutputActive);
  // Controls.
  EXPECT_EQ(f.ComboBox2->Text(), "Concert Hall 1");
  EXPECT_EQ(f.ComboBox2->Items().size(), 16);
  EXPECT_EQ(f.ComboBox1->Text(), "44100");
  EXPECT_EQ(f.TrackBar1->Max(), 29400);
  EXPECT_EQ(f.TrackBar1->Position(), 3528);
  EXPECT_EQ(f.Label3->text(), "3528  80 ms");
  EXPECT_EQ(f.TrackBar2->Position(), 3);
  EXPECT_EQ(f.Label4->text(), "2");
  EXPECT_EQ(f.TrackBar3->Min(), 1);
  EXPECT_EQ(f.TrackBar3->Max(), 300);
  EXPECT_EQ(f.TrackBar3->Position(), 100);
  EXPECT_EQ(f.Label17->text(), "1" + QString(QLocale().decimalPoint()) + "00");
  EXPECT_EQ(f.Label11->text(), "Max.buffer size: 3087000");
  EXPECT_EQ(f.Label12->text(), "2469600");
  EXPECT_EQ(f.SpinEdit3->Value(), 8);
  EXPECT_EQ(f.Label8->text(), "Line In");
  EXPECT_EQ(f.Label9->text(), "Speakers");
  EXPECT_TRUE(f.CheckBox1->Checked());
  EXPECT_FALSE(f.CheckBox1->isEnabled());
  EXPECT_EQ(f.Shape1->BrushColor(), clWhite);
  EXPECT_EQ(f.TrayIcon1->ToolTip(), "Echora: OFF");
  EXPECT_TRUE(f.TrayIcon1->Active());
  EXPECT_TRUE(f.Close1->Enabled());
}

TEST_F(Window, EveryControlHasItsCaptionAndHint) {
  TForm1& f = *form;
  const std::pair<QWidget*, const char*> hints[] = {
      {f.SpeedButton2, "Turns Sound Processor on."},
      {f.Shape1, "Sound Processor power led."},
      {f.ComboBox2, "Lets you choose preset sound spaces."},
      {f.SpeedButton1, "Shows advanced settings."},
      {f.SpeedButton3, "Hides Sound Processor's control panel."},
      {f.CheckBox1, "Activates/Deactivates Echo generator."},
      {f.TrackBar3, "Sets volume"},
      {f.TrackBar1, "Sets delay of the first echo."},
      {f.TrackBar2, "Sets number of repeats."},
      {f.SpinEdit1, "Input device"},
      {f.SpinEdit2, "Output device"},
      {f.ComboBox1, "Frequency for input AND output device."},
      {f.Label11, "Maximum size of buffer"},
      {f.SpinEdit3, "Set custom buffer size."},
      {f.Shape2,
       "If the produce led is red all the time you should reduce Repeats or "
       "Frequency."}};
  for (const auto& [widget, hint] : hints) EXPECT_EQ(widget->toolTip(), hint);
  EXPECT_EQ(f.SpeedButton2->text(), "Power");
  EXPECT_EQ(f.SpeedButton1->text(), "Advanced");
  EXPECT_EQ(f.SpeedButton3->text(), "&Hide");
  EXPECT_EQ(f.PageControl1->tabText(0), "&Echo Generator");
  EXPECT_EQ(f.PageControl1->tabText(1), "&Setup");
  EXPECT_EQ(f.PageControl1->tabText(2), "Debug Info");
  EXPECT_EQ(f.GroupBox1->title(), "Echo Settings");
  EXPECT_EQ(f.GroupBox3->title(), "I/O Device");
  EXPECT_EQ(f.GroupBox4->title(), "Buffer");
  for (auto [button, caption] : {std::pair{f.Button1, "DevNum"},
                                 {f.Button3, "SB Info"},
                                 {f.Button10, "Buff Info"},
                                 {f.Button4, "Mem Info"},
                                 {f.Button2, "Clear"}}) {
    EXPECT_EQ(button->text(), caption);
  }
  EXPECT_EQ(f.PopupMenu1->Count(), 3);
  EXPECT_EQ(f.Properties1->Caption(), "Show");
  EXPECT_TRUE(f.Properties1->Default());
  EXPECT_EQ(f.Close1->Caption(), "Exit");
}

TEST_F(Window, AdvancedUnfoldsThePagesAndFoldsThemAgain) {
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  EXPECT_TRUE(form->AdvancedShown);
  EXPECT_EQ(form->height(), 240);
  EXPECT_TRUE(form->PageControl1->isVisible());
  form->PageControl1->setCurrentIndex(2);
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  EXPECT_EQ(form->height(), 51);
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  EXPECT_EQ(form->PageControl1->currentIndex(), 2);  // the page last selected
}

TEST_F(Window, DraggingMovesByThePointersDistanceFromEachSurfaceOnly) {
  for (QWidget* surface :
       {static_cast<QWidget*>(form->Panel1), static_cast<QWidget*>(form->GroupBox2),
        static_cast<QWidget*>(form->Shape1)}) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
      const QPoint before = form->pos();
      QTest::mousePress(surface, button, {}, QPoint(3, 3));
      QMouseEvent move(QEvent::MouseMove, QPointF(23, 18), surface->mapToGlobal(QPointF(23, 18)),
                       Qt::NoButton, button, {});
      QApplication::sendEvent(surface, &move);
      QTest::mouseRelease(surface, button, {}, QPoint(23, 18));
      EXPECT_EQ(form->pos() - before, QPoint(20, 15)) << surface->metaObject()->className();
      EXPECT_FALSE(form->Dragging);
    }
  }
  // The icon image sits on the panel, but a press on it is its own: a click shows About.
  for (QWidget* control :
       {static_cast<QWidget*>(form->Image1), static_cast<QWidget*>(form->SpeedButton2),
        static_cast<QWidget*>(form->SpeedButton1), static_cast<QWidget*>(form->SpeedButton3)}) {
    const QPoint before = form->pos();
    QTest::mousePress(control, Qt::RightButton, {}, QPoint(3, 3));
    QMouseEvent move(QEvent::MouseMove, QPointF(23, 18), control->mapToGlobal(QPointF(23, 18)),
                     Qt::NoButton, Qt::RightButton, {});
    QApplication::sendEvent(control, &move);
    QTest::mouseRelease(control, Qt::RightButton, {}, QPoint(23, 18));
    EXPECT_EQ(form->pos(), before) << control->metaObject()->className();
    EXPECT_FALSE(form->Dragging);
  }
}

TEST_F(Window, PowerShowsItsStateAndOffRestoresTheStartUpControls) {
  TForm1& f = *form;
  QTest::mouseClick(f.SpeedButton2, Qt::LeftButton);
  EXPECT_TRUE(f.PowerOn);
  EXPECT_TRUE(f.SpeedButton2->Down());
  EXPECT_EQ(f.TrayIcon1->ToolTip(), "Echora: ON");
  EXPECT_FALSE(f.TabSheet2->isEnabled());
  EXPECT_TRUE(f.CheckBox1->isEnabled());
  EXPECT_EQ(f.Shape1->BrushColor(), clLime);
  EXPECT_FALSE(f.Close1->Enabled());
  EXPECT_TRUE(InputActive && OutputActive);
  EXPECT_TRUE(f.EchoProcess.Running());
  card.Step(static_cast<std::size_t>(BufferSize / 4));  // a period: one echo pass
  // The pass paints the LED through the GUI thread, so it cannot have ended yet.
  ASSERT_TRUE(BufferReady) << "a playback completion";
  ASSERT_TRUE(QtEventually([] { return !BufferReady; })) << "the echo pass to end";
  EXPECT_TRUE(f.Memo1->Lines.Count() == 0);

  QTest::mouseClick(f.SpeedButton2, Qt::LeftButton);
  EXPECT_FALSE(f.PowerOn);
  EXPECT_FALSE(f.SpeedButton2->Down());
  EXPECT_EQ(f.TrayIcon1->ToolTip(), "Echora: OFF");
  EXPECT_TRUE(f.TabSheet2->isEnabled());
  EXPECT_FALSE(f.CheckBox1->isEnabled());
  EXPECT_TRUE(f.CheckBox1->Checked());
  EXPECT_EQ(f.Shape1->BrushColor(), clWhite);
  EXPECT_TRUE(f.Close1->Enabled());
  EXPECT_FALSE(InputActive || OutputActive);
  EXPECT_FALSE(f.EchoProcess.Running());
}
