// The shape of every event handler of the toolkit's controls: called on the GUI thread with
// the control that raised the event. An empty handler is simply not called.
#pragma once

#include <functional>

class QObject;

using NotifyEvent = std::function<void(QObject* Sender)>;
