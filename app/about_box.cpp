#include "app/about_box.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "art/program_icon.h"
#include "platform/toolkit/tpanel.h"

namespace {

const QColor kDialogFace(240, 240, 240);

QLabel* NavyLabel(QWidget* parent, const QString& text, int pixels, bool bold) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);  // an ampersand shows as itself
  QFont font = label->font();
  font.setPixelSize(pixels);
  font.setBold(bold);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
  label->setPalette(palette);
  label->adjustSize();
  return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About");
  // A dialog border: fixed size and a close box, no minimise or maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                 Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
  setFixedSize(562, 373);
  QFont font = this->font();
  font.setPixelSize(14);
  setFont(font);

  auto* panel = new TPanel(this);
  panel->SetBevels(TPanel::Bevel::Lowered, TPanel::Bevel::Raised);
  panel->setGeometry(16, 10, 529, 351);
  // The navy texts were designed on the light face of a dialog. A dark theme's face would
  // leave them unreadable (1.03:1), so the panel keeps that light face in every theme; the
  // memo and the button follow the theme.
  QPalette face = panel->palette();
  face.setColor(QPalette::Window, kDialogFace);
  panel->setPalette(face);
  panel->setAutoFillBackground(true);

  ProgramIcon = new QLabel(panel);
  ProgramIcon->setPixmap(ProgramIconPixmap(qApp->devicePixelRatio()));
  ProgramIcon->setGeometry(118, 38, 32, 32);
  ProgramIcon->setScaledContents(true);

  ProductName = NavyLabel(panel, "Tarnwick Echora", 20, true);
  ProductName->move(24, 84);
  Comments = NavyLabel(panel, "Digital Sound Processor", 13, false);
  Comments->move(64, 109);
  Version = NavyLabel(panel, "release version", 13, false);
  Version->move(93, 129);

  Image1 = new QLabel(panel);
  Image1->setGeometry(2, 183, 269, 65);
  Image1->setAlignment(Qt::AlignCenter);
  // At the densest screen's scale, so that the logo is sharp wherever the dialog shows.
  Image1->setPixmap(LogoPixmap(Image1->size(), qApp->devicePixelRatio()));

  Memo1 = new QPlainTextEdit(panel);
  Memo1->setReadOnly(true);
  Memo1->setAccessibleName("About");
  // A read-only text shows no cursor, and the style draws no focus on its frame: the frame
  // takes the highlight colour while it has the focus, so a keyboard user sees it.
  Memo1->setStyleSheet(
      "QPlainTextEdit { border: 1px solid palette(mid); }"
      "QPlainTextEdit:focus { border: 2px solid palette(highlight); }");
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setGeometry(280, 8, 241, 337);
  Memo1->setPlainText(
      "Echora is free to use and to pass on, as long as it is passed on whole and "
      "unchanged.\n\n"
      "It records what your sound card hears, adds an echo and plays it back, eight "
      "seconds later at the start-up settings.\n\n"
      "Ideas, praise and bug reports are welcome through the project's issue tracker.");

  OKButton = new QPushButton("OK", this);
  OKButton->setGeometry(105, 302, 92, 30);
  OKButton->setDefault(true);  // Return presses it
  OKButton->setAutoDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);
  OKButton->raise();
  OKButton->setFocus();
}

void TAboutBox::OKButtonClick() {
  accept();
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnScreen();
}

void TAboutBox::CentreOnScreen() {
  const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!shown) return;
  // The dialog itself is centred: the window manager's frame is not known before the first
  // showing, and centring it would put that showing somewhere else than the later ones.
  // move() places the frame's corner.
  const QPoint frameCorner = geometry().topLeft() - frameGeometry().topLeft();
  move(shown->geometry().center() - QPoint(width() / 2, height() / 2) - frameCorner);
}
