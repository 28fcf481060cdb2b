// The About dialog: the program icon, its name, two lines of description, the logo and a
// short note, with an OK button. Shown only modally: once by itself after start-up and on a
// click on the icon at the left of the main window.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TAboutBox final : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  // Closes the dialog, which ends its modal showing.
  void OKButtonClick();

  QLabel* ProgramIcon;
  QLabel* ProductName;
  QLabel* Comments;
  QLabel* Version;
  QLabel* Image1;
  QPlainTextEdit* Memo1;
  QPushButton* OKButton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CentreOnScreen();
};
