#include "panel/tform1.h"

#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>

#include "art/program_icon.h"
#include "audio/buffer_rules.h"
#include "audio/engine_state.h"
#include "echo/echo_rules.h"
#include "echo/processor_power.h"
#include "platform/shell/tpopupmenu.h"
#include "platform/shell/tray_hosts.h"
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
#include "trayicon/ttrayicon.h"

TForm1* Form1 = nullptr;

namespace {

constexpr int kWidth = 490;
constexpr int kPanelHeight = 51;
constexpr int kPagesHeight = 189;

QLabel* Label(QWidget* parent, const QString& text, int x, int y, const QString& hint = {}) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  label->adjustSize();
  label->setToolTip(hint);
  return label;
}

// A horizontal slider as designed: its range, position, page and tick spacing.
struct SliderDesign {
  QRect geometry;
  int min;
  int max;
  int position;
  int pageSize;
  int frequency;
};

// A device's name: a server's names are long, so it may take two lines, and is cut with
// "…" beyond them.
QLabel* DeviceNameLabel(QWidget* parent, const QString& text, int y, const QString& hint) {
  QLabel* label = Label(parent, text, 108, y, hint);
  label->setFixedSize(185, 32);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

TTrackBar* Slider(QWidget* parent, const QString& hint, const SliderDesign& design) {
  auto* slider = new TTrackBar(parent);
  slider->setToolTip(hint);
  slider->setGeometry(design.geometry);
  slider->SetMin(design.min);
  slider->SetMax(design.max);
  slider->SetPosition(design.position);
  slider->SetPageSize(design.pageSize);
  slider->SetFrequency(design.frequency);
  return slider;
}

// Binds a handler with the form's signature to a toolkit event.
template <typename Handler>
NotifyEvent Bind(TForm1* form, Handler handler) {
  return [form, handler](QObject* sender) { (form->*handler)(sender); };
}

}  // namespace

TForm1::TForm1() {
  Form1 = this;
  if (Application()) Application()->SetMainForm(this);
  setObjectName("Form1");
  setWindowTitle("Tarnwick Echora");
  setWindowIcon(ProgramIcon());
  trayAvailable_ = TrayHosts::Instance().Available();
  setWindowFlags(WindowFlagsFor(trayAvailable_));
  connect(&TrayHosts::Instance(), &TrayHosts::Changed, this, &TForm1::FollowTray);
  setAttribute(Qt::WA_QuitOnClose, true);
  QFont designed = font();
  designed.setPixelSize(13);
  setFont(designed);
  setMinimumSize(kWidth, kPanelHeight);
  setMaximumSize(kWidth, kPanelHeight + kPagesHeight);
  BuildTopPanel();
  BuildEchoPage();
  BuildSetupPage();
  BuildDebugPage();
  BuildComponents();
  SetClientHeight(kPanelHeight + kPagesHeight);
  SetPanelLinks(this);
  FormCreate(this);
  // Centred on the screen when first shown, folded as FormCreate left it.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
  }
}

TForm1::~TForm1() {
  // The window can close while the processor is on (the window manager's close, the end of
  // the session). A pass in progress waits for this thread to paint its LED, so the echo
  // thread is ended with messages served, and the engine is switched off in order, while
  // the panel it reaches is still whole.
  StopEcho();
  if (PowerOn) {
    PowerOn = false;
    PowerDownEngine();
  }
  SetPanelLinks(nullptr);
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::BuildTopPanel() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setGeometry(0, 0, kWidth, kPanelHeight);

  Image1 = new TImage(Panel1);
  Image1->setObjectName("Image1");
  Image1->setAccessibleName("About");
  Image1->SetOnClick(Bind(this, &TForm1::Image1Click));
  Image1->setPixmap(ProgramIconPixmap(qApp->devicePixelRatio()));
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setGeometry(5, 9, 37, 32);

  GroupBox2 = new QGroupBox(Panel1);
  GroupBox2->setObjectName("GroupBox2");
  GroupBox2->setGeometry(45, 3, 361, 41);
  GroupBox2->setAutoFillBackground(true);

  SpeedButton2 = new TSpeedButton(GroupBox2);
  SpeedButton2->setText("Power");
  SpeedButton2->setToolTip("Turns Sound Processor on.");
  SpeedButton2->SetGroupIndex(1);
  SpeedButton2->setGeometry(8, 10, 56, 23);
  SpeedButton2->OnClick = Bind(this, &TForm1::SpeedButton2Click);

  Shape1 = new TShape(GroupBox2);
  Shape1->setToolTip("Sound Processor power led.");
  Shape1->setGeometry(70, 18, 25, 8);
  Shape1->SetBrushColor(clWhite);
  Shape1->setAccessibleName("Power LED");
  Shape1->StateText = [this] { return Shape1->BrushColor() == clLime ? "on" : "off"; };

  ComboBox2 = new TComboBox(GroupBox2);
  ComboBox2->setToolTip("Lets you choose preset sound spaces.");
  ComboBox2->setAccessibleName("Preset");
  QStringList presets{"Custom"};
  for (const Preset& preset : kPresets) {
    presets << QString::fromUtf8(preset.name.data(), static_cast<qsizetype>(preset.name.size()));
  }
  ComboBox2->SetItems(presets);
  ComboBox2->setGeometry(102, 10, 137, 23);
  QFont small = ComboBox2->font();
  small.setPixelSize(12);
  ComboBox2->setFont(small);
  ComboBox2->OnChange = Bind(this, &TForm1::ComboBox2Change);

  SpeedButton1 = new TSpeedButton(GroupBox2);
  SpeedButton1->setText("Advanced");
  SpeedButton1->setToolTip("Shows advanced settings.");
  SpeedButton1->SetGroupIndex(2);
  SpeedButton1->setGeometry(246, 10, 106, 23);
  SpeedButton1->OnClick = Bind(this, &TForm1::SpeedButton1Click);

  SpeedButton3 = new TSpeedButton(Panel1);
  SpeedButton3->setText("&Hide");
  SpeedButton3->setToolTip("Hides Sound Processor's control panel.");
  SpeedButton3->setGeometry(412, 13, 70, 23);  // level with the buttons beside it
  SpeedButton3->OnClick = Bind(this, &TForm1::SpeedButton3Click);

  // The three surfaces the borderless window is dragged by.
  for (QWidget* surface : {static_cast<QWidget*>(Panel1), static_cast<QWidget*>(GroupBox2),
                           static_cast<QWidget*>(Shape1)}) {
    surface->installEventFilter(this);
  }
  // The controls on them keep their presses, even those they ignore (the image's, a right
  // button's on a button), which Qt would otherwise pass to the surface below as a drag.
  for (QWidget* control : {static_cast<QWidget*>(Image1), static_cast<QWidget*>(SpeedButton2),
                           static_cast<QWidget*>(ComboBox2), static_cast<QWidget*>(SpeedButton1),
                           static_cast<QWidget*>(SpeedButton3)}) {
    control->setAttribute(Qt::WA_NoMousePropagation);
  }

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setAccessibleName("Advanced settings");
  PageControl1->setGeometry(0, kPanelHeight, kWidth, kPagesHeight);
  PageControl1->hide();
  // A click on a tab takes the focus to the tabs before the pages change, as a page
  // control does. Otherwise the page being hidden would pass its focus down the chain to
  // a slider, whose OnEnter switches the preset shown to "Custom".
  QTabBar* tabs = PageControl1->tabBar();
  connect(tabs, &QTabBar::tabBarClicked, tabs, [tabs] { tabs->setFocus(Qt::MouseFocusReason); });
}

void TForm1::BuildEchoPage() {
  TabSheet1 = new QWidget;
  PageControl1->addTab(TabSheet1, "&Echo Generator");
  GroupBox1 = new QGroupBox("Echo Settings", TabSheet1);
  GroupBox1->setGeometry(6, 4, 472, 150);

  const QString produce =
      "If the produce led is red all the time you should reduce Repeats or "
      "Frequency.";
  Label15 = Label(GroupBox1, "Produce", 12, 22, produce);
  Shape2 = new TShape(GroupBox1);
  Shape2->setToolTip(produce);
  Shape2->setGeometry(70, 26, 25, 8);
  Shape2->setAccessibleName("Produce LED");
  Shape2->StateText = [this] { return Shape2->BrushColor() == clRed ? "busy" : "idle"; };
  CheckBox1 = new TCheckBox(GroupBox1);
  CheckBox1->setText("Echo active");
  CheckBox1->setToolTip("Activates/Deactivates Echo generator.");
  CheckBox1->move(12, 44);
  CheckBox1->adjustSize();
  CheckBox1->SetChecked(true);  // before its handler is bound: designed ticked
  CheckBox1->setEnabled(false);
  // Silver as designed, in any theme, so its text is pinned dark too: a dark theme's light
  // text on silver is unreadable, and greyed (while off) it stays above 4.5:1. A style
  // sheet, because themes such as qt6ct set every widget's palette anew.
  CheckBox1->setStyleSheet(
      "QCheckBox { background-color: #c0c0c0; color: black; }"
      "QCheckBox:disabled { color: #3c3c3c; }");
  CheckBox1->OnClick = Bind(this, &TForm1::CheckBox1Click);

  Label16 = Label(GroupBox1, "Volume:", 186, 22, "Sets volume");
  // Wide enough for "50.00" and flush against its "x", so the gain reads as one word.
  Label17 = Label(GroupBox1, "1", 240, 22, "Sets volume");
  Label17->setFixedWidth(50);
  Label17->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Label7 = Label(GroupBox1, "x", 291, 22);
  // The sliders' designed positions are the engine rules' own.
  const EchoSliders designed;
  TrackBar3 = Slider(GroupBox1, "Sets volume",
                     {{310, 16, 154, 30},
                      designed.volumeRange.min,
                      designed.volumeRange.max,
                      designed.volume,
                      100,
                      100});
  TrackBar3->OnChange = Bind(this, &TForm1::TrackBar3Change);
  TrackBar3->setAccessibleName("Volume");
  TrackBar3->ShownValue = [this] { return Label17->text() + Label7->text(); };
  TrackBar3->OnEnter = Bind(this, &TForm1::TrackBar3Enter);

  const QString delay = "Sets delay of the first echo.";
  Label6 = Label(GroupBox1, "Delay:", 12, 82, delay);
  Label3 = Label(GroupBox1, "8000", 56, 82, delay);
  Label3->setMinimumWidth(110);
  TrackBar1 = Slider(GroupBox1, delay,
                     {{8, 100, 300, 40}, 0, designed.delayMax, designed.delay, 100, 1250});
  TrackBar1->OnChange = Bind(this, &TForm1::TrackBar1Change);
  TrackBar1->setAccessibleName("Delay");
  TrackBar1->ShownValue = [this] { return Label3->text(); };
  TrackBar1->OnEnter = Bind(this, &TForm1::TrackBar3Enter);

  const QString repeats = "Sets number of repeats.";
  Label5 = Label(GroupBox1, "Repeats:", 320, 82, repeats);
  Label4 = Label(GroupBox1, "2", 380, 82, repeats);
  Label4->setMinimumWidth(30);
  TrackBar2 = Slider(GroupBox1, repeats,
                     {{316, 100, 148, 40}, 1, kMaxRepeatsPosition, designed.repeats, 1, 1});
  TrackBar2->OnChange = Bind(this, &TForm1::TrackBar2Change);
  TrackBar2->setAccessibleName("Repeats");
  TrackBar2->ShownValue = [this] { return Label4->text() + " repeats"; };
  TrackBar2->OnEnter = Bind(this, &TForm1::TrackBar3Enter);
}

void TForm1::BuildSetupPage() {
  TabSheet2 = new QWidget;
  PageControl1->addTab(TabSheet2, "&Setup");
  GroupBox3 = new QGroupBox("I/O Device", TabSheet2);
  GroupBox3->setGeometry(6, 4, 300, 150);

  auto colouredLabel = [](QWidget* parent, const QString& text, int y, QColor background,
                          const QString& hint) {
    QLabel* label = Label(parent, text, 10, y, hint);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(34, 20);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
  };
  auto deviceSpin = [](QWidget* parent, int y, const QString& hint) {
    auto* spin = new TSpinEdit(parent);
    spin->setToolTip(hint);
    spin->setGeometry(50, y, 50, 22);
    spin->SetMinValue(0);
    spin->SetMaxValue(0);
    return spin;
  };
  Label1 = colouredLabel(GroupBox3, "In:", 26, Qt::red, "Input device");
  SpinEdit1 = deviceSpin(GroupBox3, 25, "Input device");
  // An arrow first reads the device shown again, as a change does: one unplugged since
  // is reported, and one plugged in since extends the range the step moves in.
  SpinEdit1->OnChange = Bind(this, &TForm1::SpinEdit1Change);
  SpinEdit1->OnArrow = SpinEdit1->OnChange;
  Label8 = DeviceNameLabel(GroupBox3, "Label8", 28, "Input device");
  SpinEdit1->setAccessibleName("Capture device");
  SpinEdit1->ShownValue = [this] { return SpinEdit1->text() + ": " + Label8->text(); };
  Label2 = colouredLabel(GroupBox3, "Out:", 60, Qt::green, "Output device");
  SpinEdit2 = deviceSpin(GroupBox3, 59, "Output device");
  SpinEdit2->OnChange = Bind(this, &TForm1::SpinEdit2Change);
  SpinEdit2->OnArrow = SpinEdit2->OnChange;
  Label9 = DeviceNameLabel(GroupBox3, "Label9", 62, "Output device");
  SpinEdit2->setAccessibleName("Playback device");
  SpinEdit2->ShownValue = [this] { return SpinEdit2->text() + ": " + Label9->text(); };
  const QString freq = "Frequency for input AND output device.";
  Label10 = Label(GroupBox3, "Freq:", 10, 100, freq);
  ComboBox1 = new TComboBox(GroupBox3);
  ComboBox1->setToolTip(freq);
  ComboBox1->setAccessibleName("Sample rate");
  QStringList rates;
  for (std::int32_t rate : kSampleRates) rates << QString::number(rate);
  ComboBox1->SetItems(rates);
  ComboBox1->setGeometry(50, 96, 90, 23);
  ComboBox1->OnChange = Bind(this, &TForm1::ComboBox1Change);

  GroupBox4 = new QGroupBox("Buffer", TabSheet2);
  GroupBox4->setGeometry(312, 4, 166, 150);
  // "Max.buffer size: 3087000" is wider than the group: the figure goes on a second line.
  Label11 = Label(GroupBox4, "Label11", 8, 20, "Maximum size of buffer");
  Label11->setWordWrap(true);
  Label11->setFixedSize(154, 36);
  Label11->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label13 = Label(GroupBox4, "Custom buffer size:", 8, 58);
  Label12 = Label(GroupBox4, "Label12", 8, 76);
  Label12->setFixedWidth(154);
  const QString multiplier = "Set custom buffer size.";
  Label14 = Label(GroupBox4, "Buffer multiplier:", 8, 98, multiplier);
  SpinEdit3 = new TSpinEdit(GroupBox4);
  SpinEdit3->setToolTip(multiplier);
  SpinEdit3->setAccessibleName("Buffer multiplier");
  SpinEdit3->setGeometry(8, 116, 60, 22);
  SpinEdit3->SetMinValue(kMinMultiplier);
  SpinEdit3->SetMaxValue(kMaxMultiplier);
  SpinEdit3->SetValue(8);
  SpinEdit3->OnChange = Bind(this, &TForm1::SpinEdit3Change);
}

void TForm1::BuildDebugPage() {
  TabSheet3 = new QWidget;
  PageControl1->addTab(TabSheet3, "Debug Info");
  PageControl1->setTabToolTip(2, "Shows some additional info.");
  auto button = [this](const QString& caption, int y, int height,
                       void (TForm1::*handler)(QObject*)) {
    auto* b = new QPushButton(caption, TabSheet3);
    b->setGeometry(8, y, 100, height);
    b->setAutoDefault(true);  // Enter presses it, as Space does
    connect(b, &QPushButton::clicked, this, [this, b, handler] { (this->*handler)(b); });
    return b;
  };
  Button1 = button("DevNum", 6, 25, &TForm1::Button1Click);
  Button3 = button("SB Info", 34, 25, &TForm1::Button3Click);
  Button10 = button("Buff Info", 62, 25, &TForm1::Button10Click);
  Button4 = button("Mem Info", 90, 25, &TForm1::Button4Click);
  Button2 = button("Clear", 124, 20, &TForm1::Button2Click);
  Button2->setFixedWidth(60);
  Memo1 = new TMemo(TabSheet3);
  Memo1->setAccessibleName("Debug information");
  Memo1->setGeometry(118, 6, 353, 137);
}

void TForm1::BuildComponents() {
  PopupMenu1 = new TPopupMenu(this);
  Properties1 = PopupMenu1->Add("Show");
  Properties1->SetDefault(true);
  Properties1->OnClick = Bind(this, &TForm1::Properties1Click);
  N1 = PopupMenu1->Add("-");
  Close1 = PopupMenu1->Add("Exit");
  Close1->OnClick = Bind(this, &TForm1::Close1Click);

  TrayIcon1 = new TTrayIcon(this);
  TrayIcon1->ReadStoredSettings({.Active = true,
                                 .Icon = ProgramIcon(),
                                 .ToolTip = "Echora: OFF",
                                 .OnDblClick = Bind(this, &TForm1::TrayIcon1DblClick),
                                 .PopupMenu = PopupMenu1});

  Timer1 = new TTimer(this);
  Timer1->SetInterval(200);
  Timer1->SetEnabled(false);
  Timer1->OnTimer = Bind(this, &TForm1::Timer1Timer);
}

void TForm1::SetClientHeight(int height) {
  if (isVisible() && height != this->height()) {
    // The top edge stays, unless the taller window would leave the screen (the unfolded
    // window at 2x on a small screen): then it moves up just enough.
    QPoint place = keptPlace_.From(pos());
    if (const QScreen* shown = screen()) {
      const int bottom = shown->availableGeometry().bottom() + 1;
      place.setY(std::max(shown->availableGeometry().top(), std::min(place.y(), bottom - height)));
    }
    keptPlace_.Hold(place, height);
    if (place != pos()) move(place);
  }
  // Under a scale factor Qt asks the window manager for sizes in steps of its scaled
  // logical pixel (2 device pixels at 1.5x) from a base of 0, and openbox then took the
  // 735-pixel strip to 734. From a base of the size itself, every scale reaches it.
  setBaseSize(kWidth, height);
  setFixedHeight(height);
}
