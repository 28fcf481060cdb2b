// TPanel: a panel with the classic pair of bevels, outer and inner, each none, lowered or
// raised. The outer bevel is its edge; the inner one lies just within it.
#pragma once

#include <QFrame>

class TPanel : public QFrame {
  Q_OBJECT

 public:
  enum class Bevel { None, Lowered, Raised };

  explicit TPanel(QWidget* parent = nullptr);

  Bevel BevelOuter() const { return outer_; }
  Bevel BevelInner() const { return inner_; }
  // Children are placed by the caller; the bevels take one pixel each from the contents.
  void SetBevels(Bevel outer, Bevel inner);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Bevel outer_ = Bevel::Raised;
  Bevel inner_ = Bevel::None;
};
