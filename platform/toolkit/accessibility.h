// What assistive technologies (screen readers, switch access) see of the toolkit's own
// controls, through Qt's accessibility: the roles, states, values and actions that Qt's
// stock interfaces get wrong for them or do not know.
//
// - A two-state speed button's "Toggle" action, and its "Press", click it: the same path as
//   the mouse, so its OnClick runs and the state it shows is the program's. (Qt's own
//   action would flip the state without a click.)
// - An image with a click handler is a button whose "Press" clicks it.
// - A drop-down list is named by its accessible name and valued by the item shown.
// - A shape says what it shows as its description (an LED's "on", "busy"...), given by the
//   program; a shape is otherwise a picture with no state.
// - A spin edit and a track bar give their value and range, and their value as the window
//   shows it, where the program gives one.
//
// Call InstallToolkitAccessibility once, after the QApplication exists. GUI thread.
#pragma once

void InstallToolkitAccessibility();
