// GTK 3 backend of the message boxes (and the setup dialog's view).
#pragma once

namespace platform::gtk {

// Initialises GTK once; false when no display can be opened.
bool open();

// A modal GTK message dialog; returns IDOK or IDCANCEL.
int messageBox(const char* text, const char* caption, unsigned type);

}  // namespace platform::gtk
