#include "platform/shell/tcomponent.h"

TComponent::TComponent(QObject* AOwner) : QObject(AOwner) {}
