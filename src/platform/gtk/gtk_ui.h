// GTK 3 backend of the message boxes and of the setup dialog's view.
#pragma once

namespace platform::dlg {
class Dialog;
}

namespace platform::gtk {

// Initialises GTK once; false when no display can be opened.
bool open();

// A modal GTK message dialog; returns IDOK or IDCANCEL.
int messageBox(const char* text, const char* caption, unsigned type);

// Shows a dialog model as a modal GTK window: sends it WM_INITDIALOG, then runs until
// its procedure ends it. False when GTK cannot be used.
bool runDialog(dlg::Dialog& dialog);

// Handles pending GTK events, so that a closed window really disappears.
void drainEvents();

}  // namespace platform::gtk
