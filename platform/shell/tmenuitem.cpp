#include "platform/shell/tmenuitem.h"

#include <QAction>
#include <QFont>

namespace {
const QString kSeparatorCaption = QStringLiteral("-");
}

TMenuItem::TMenuItem(TComponent* AOwner, QAction* action) : TComponent(AOwner), action_(action) {
  action_->setParent(this);
}

QString TMenuItem::Caption() const {
  return action_->isSeparator() ? kSeparatorCaption : action_->text();
}

void TMenuItem::SetCaption(const QString& Caption) {
  action_->setSeparator(Caption == kSeparatorCaption);
  action_->setText(action_->isSeparator() ? QString() : Caption);
}

bool TMenuItem::Enabled() const {
  return action_->isEnabled();
}

void TMenuItem::SetEnabled(bool Enabled) {
  action_->setEnabled(Enabled);
}

bool TMenuItem::Default() const {
  return action_->font().bold();
}

void TMenuItem::SetDefault(bool Default) {
  QFont font = action_->font();
  font.setBold(Default);
  action_->setFont(font);
}

void TMenuItem::Click() {
  if (Enabled() && OnClick) OnClick(this);
}
