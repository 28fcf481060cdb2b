// The window for keyboard and screen-reader users: every control reached with Tab and
// pressed with Space or Enter, the icon a button that shows About, no preset chosen by an
// Alt shortcut, the names and values an assistive technology reads, and its actions going
// the way of a click, so that the state shown and the engine's never part.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include "panel/tform1.h"
#include "platform/toolkit/tcombobox.h"
#include "platform/toolkit/timage.h"
#include "platform/toolkit/tmemo.h"
#include "platform/toolkit/tshape.h"
#include "platform/toolkit/tspeedbutton.h"
#include "platform/toolkit/tspinedit.h"
#include "platform/toolkit/ttrackbar.h"
#include "tests/panel/window_rig.h"

namespace {

class Accessible : public testing::Test {
 protected:
  Accessible() {
    form->show();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }

  static QAccessibleInterface* Of(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
  }
  static QString Name(QWidget* widget) { return Of(widget)->text(QAccessible::Name); }
  static QString Value(QWidget* widget) { return Of(widget)->text(QAccessible::Value); }
  static void Do(QWidget* widget, const QString& action) {
    Of(widget)->actionInterface()->doAction(action);
  }

  WindowRig rig;
  std::unique_ptr<TForm1>& form = rig.form;
};

TEST_F(Accessible, EveryControlHasADistinctName) {
  const std::vector<std::pair<QWidget*, QString>> named{{form->Image1, "About"},
                                                        {form->SpeedButton2, "Power"},
                                                        {form->ComboBox2, "Preset"},
                                                        {form->SpeedButton1, "Advanced"},
                                                        {form->SpeedButton3, "Hide"},
                                                        {form->TrackBar3, "Volume"},
                                                        {form->TrackBar1, "Delay"},
                                                        {form->TrackBar2, "Repeats"},
                                                        {form->SpinEdit1, "Capture device"},
                                                        {form->SpinEdit2, "Playback device"},
                                                        {form->SpinEdit3, "Buffer multiplier"},
                                                        {form->ComboBox1, "Sample rate"},
                                                        {form->Memo1, "Debug information"},
                                                        {form->Shape1, "Power LED"},
                                                        {form->Shape2, "Produce LED"}};
  QSet<QString> names;
  for (const auto& [widget, name] : named) {
    EXPECT_EQ(Name(widget), name);
    names.insert(Name(widget));
  }
  EXPECT_EQ(names.size(), static_cast<qsizetype>(named.size()));
  EXPECT_EQ(Of(form->Image1)->role(), QAccessible::Button);  // it shows About
}

TEST_F(Accessible, ValuesAreReadAsTheWindowShowsThem) {
  EXPECT_EQ(Value(form->TrackBar3), "1.00x");
  EXPECT_EQ(Value(form->TrackBar2), "2 repeats");
  EXPECT_EQ(Value(form->TrackBar1), form->Label3->text());
  QAccessibleValueInterface* multiplier = Of(form->SpinEdit3)->valueInterface();
  ASSERT_NE(multiplier, nullptr);
  EXPECT_EQ(multiplier->currentValue().toInt(), 8);
  EXPECT_EQ(multiplier->maximumValue().toInt(), form->SpinEdit3->MaxValue());
  EXPECT_TRUE(Value(form->SpinEdit1).startsWith("0: Line In"))
      << Value(form->SpinEdit1).toStdString();
  EXPECT_EQ(Value(form->Shape1), "off");
}

TEST_F(Accessible, ToggleActionsGoTheWayOfAClick) {
  Do(form->SpeedButton2, QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(form->PowerOn);
  EXPECT_TRUE(Of(form->SpeedButton2)->state().checked);
  EXPECT_EQ(Value(form->Shape1), "on");
  Do(form->SpeedButton2, QAccessibleActionInterface::toggleAction());
  EXPECT_FALSE(form->PowerOn);
  EXPECT_FALSE(Of(form->SpeedButton2)->state().checked);

  Do(form->SpeedButton1, QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(form->AdvancedShown);
  EXPECT_EQ(form->height(), 240);
  Do(form->SpeedButton1, QAccessibleActionInterface::pressAction());
  EXPECT_FALSE(form->AdvancedShown);
  EXPECT_EQ(form->height(), 51);
}

TEST_F(Accessible, TheKeyboardReachesAndPressesTheStripsButtons) {
  form->Image1->setFocus(Qt::TabFocusReason);
  std::vector<QWidget*> order{form->Image1};
  for (int step = 0; step < 4; ++step) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(order, (std::vector<QWidget*>{form->Image1, form->SpeedButton2, form->ComboBox2,
                                          form->SpeedButton1, form->SpeedButton3}));
  form->SpeedButton2->setFocus(Qt::BacktabFocusReason);
  QTest::keyClick(form->SpeedButton2, Qt::Key_Space);
  EXPECT_TRUE(form->PowerOn);
  EXPECT_TRUE(form->SpeedButton2->Down());
  EXPECT_TRUE(form->SpeedButton2->hasFocus());  // kept through the power sequence
  QTest::keyClick(form->SpeedButton2, Qt::Key_Return);
  EXPECT_FALSE(form->PowerOn);
  EXPECT_TRUE(form->SpeedButton2->hasFocus());
  QTest::keyClick(form->SpeedButton1, Qt::Key_Enter);
  EXPECT_TRUE(form->AdvancedShown);
}

TEST_F(Accessible, AnAltShortcutChoosesNoPresetButTypingStillDoes) {
  const int shown = form->ComboBox2->ItemIndex();
  form->ComboBox2->setFocus(Qt::TabFocusReason);
  QTest::keyClick(form->ComboBox2, Qt::Key_P, Qt::AltModifier);
  EXPECT_EQ(form->ComboBox2->ItemIndex(), shown);
  QTest::keyClick(form->ComboBox2, Qt::Key_P);
  EXPECT_TRUE(form->ComboBox2->Text().startsWith("P")) << form->ComboBox2->Text().toStdString();
}

TEST_F(Accessible, EnterPressesAFocusedButtonOfTheDebugPage) {
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  form->AppendMemoLine("a line");
  form->Button2->setFocus(Qt::TabFocusReason);  // Clear
  QTest::keyClick(form->Button2, Qt::Key_Return);
  EXPECT_EQ(form->Memo1->Lines.Count(), 0);
}

}  // namespace
