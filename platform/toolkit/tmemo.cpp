#include "platform/toolkit/tmemo.h"

#include <QScrollBar>
#include <QTextBlock>

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setLineWrapMode(QPlainTextEdit::NoWrap);
}

void TMemo::LineList::Add(const QString& line) {
  if (count_ == 0) {
    // The document's first block exists already; appending would leave it empty above.
    memo_.setPlainText(line);
  } else {
    memo_.appendPlainText(line);
  }
  ++count_;
  memo_.verticalScrollBar()->setValue(memo_.verticalScrollBar()->maximum());
}

void TMemo::LineList::Clear() {
  memo_.clear();
  count_ = 0;
}

QString TMemo::LineList::operator[](int index) const {
  return memo_.document()->findBlockByNumber(index).text();
}
