#include <glib-unix.h>
#include <gtk/gtk.h>

#include "platform/gtk/gtk_ui.h"
#include "platform/quit_signal.h"

namespace platform::gtk {

QuitSignalWatch::QuitSignalWatch(void (*onQuit)(void*), void* data) : onQuit_(onQuit), data_(data) {
    int fd = quitSignalFd();
    // The pipe stays readable once written, so an earlier request fires at once too.
    if (fd >= 0)
        source_ = g_unix_fd_add(fd, G_IO_IN, reinterpret_cast<GUnixFDSourceFunc>(&QuitSignalWatch::fire), this);
}

QuitSignalWatch::~QuitSignalWatch() {
    if (source_) g_source_remove(source_);
}

int QuitSignalWatch::fire(int, unsigned, void* self) {
    auto* watch = static_cast<QuitSignalWatch*>(self);
    watch->source_ = 0;  // removed by returning G_SOURCE_REMOVE
    watch->onQuit_(watch->data_);
    return G_SOURCE_REMOVE;
}

}  // namespace platform::gtk
