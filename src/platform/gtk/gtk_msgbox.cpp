#include <gtk/gtk.h>

#include "platform/gtk/gtk_ui.h"
#include "platform/msgbox.h"

namespace platform::gtk {

bool open() {
    static int state = -1;  // -1 not tried, 0 failed, 1 open
    if (state < 0) state = gtk_init_check(nullptr, nullptr) ? 1 : 0;
    return state == 1;
}

namespace {
GtkMessageType messageTypeOf(unsigned type) {
    switch (type & 0xF0) {
        case MB_ICONERROR: return GTK_MESSAGE_ERROR;
        case MB_ICONQUESTION: return GTK_MESSAGE_QUESTION;
        case MB_ICONWARNING: return GTK_MESSAGE_WARNING;
        case MB_ICONINFORMATION: return GTK_MESSAGE_INFO;
        default: return GTK_MESSAGE_OTHER;
    }
}
}  // namespace

// Lets GTK finish hiding a dialog before the caller goes on (SDL may open a window next).
void drainEvents() {
    while (gtk_events_pending()) gtk_main_iteration();
}

int messageBox(const char* text, const char* caption, unsigned type) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, messageTypeOf(type),
                                               GTK_BUTTONS_NONE, "%s", text);
    gtk_window_set_title(GTK_WINDOW(dialog), caption);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    if ((type & 0x0F) == MB_OKCANCEL) {
        gtk_dialog_add_button(GTK_DIALOG(dialog), "_Cancel", GTK_RESPONSE_CANCEL);
    }
    gtk_dialog_add_button(GTK_DIALOG(dialog), "_OK", GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    // Ctrl+C or SIGTERM closes the box as its Cancel (or close) button does.
    QuitSignalWatch quit(
        [](void* box) { gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_CANCEL); }, dialog);
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    drainEvents();
    return response == GTK_RESPONSE_OK ? IDOK : IDCANCEL;
}

}  // namespace platform::gtk
