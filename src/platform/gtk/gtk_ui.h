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

// While it lives, SIGINT or SIGTERM (quit_signal.h) calls onQuit(data) once from GTK's
// main loop; a request that came before it is taken at the loop's next iteration.
class QuitSignalWatch {
public:
    QuitSignalWatch(void (*onQuit)(void*), void* data);
    ~QuitSignalWatch();
    QuitSignalWatch(const QuitSignalWatch&) = delete;
    QuitSignalWatch& operator=(const QuitSignalWatch&) = delete;

private:
    static int fire(int fd, unsigned condition, void* self);
    void (*onQuit_)(void*);
    void* data_;
    unsigned source_ = 0;
};

}  // namespace platform::gtk
