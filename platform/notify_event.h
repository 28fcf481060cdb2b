// The shape of every plain event handler of the toolkit's controls and the shell's
// components: called on the GUI thread with the control or component that raised the event.
// An empty handler is simply not called.
#pragma once

#include <functional>

class QObject;

using NotifyEvent = std::function<void(QObject* Sender)>;
