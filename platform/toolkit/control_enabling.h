// Enabling and disabling controls from code, with the classic toolkit's focus rule.
#pragma once

class QWidget;

// Enables or disables `control` and everything on it. Disabling the control that holds the
// keyboard focus, or one that contains it, leaves the window with no focused control,
// where Qt would pass the focus on to the next control in the tab order: that control's
// OnEnter would then run as though the user had entered it, and a slider's OnEnter
// switches the preset shown to "Custom". The user takes the focus on by Tab or a click.
void SetControlEnabled(QWidget* control, bool enabled);
