// TMemo: a read-only list of text lines with a vertical scroll bar, where the program
// appends its error lines and debug facts.
#pragma once

#include <QPlainTextEdit>
#include <QString>

class TMemo : public QPlainTextEdit {
  Q_OBJECT

 public:
  // The memo's lines, named as the window's code uses them: Memo1->Lines.Add(...).
  class LineList {
   public:
    // Appends `line` and scrolls to it.
    void Add(const QString& line);
    void Clear();
    int Count() const { return count_; }
    QString operator[](int index) const;

   private:
    friend class TMemo;
    explicit LineList(TMemo& memo) : memo_(memo) {}

    TMemo& memo_;
    // An empty memo and a memo holding one empty line look the same to the document.
    int count_ = 0;
  };

  explicit TMemo(QWidget* parent = nullptr);

  LineList Lines{*this};
};
