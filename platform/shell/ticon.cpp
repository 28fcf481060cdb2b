#include "platform/shell/ticon.h"

void TIcon::Assign(const TIcon* Source) {
  picture_ = Source ? Source->picture_ : QIcon();
}
