#include "platform/quit_signal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace platform {
namespace {

volatile sig_atomic_t g_requested = 0;
int g_pipe[2] = {-1, -1};

void onQuitSignal(int) {
    int saved = errno;
    g_requested = 1;
    // One byte is enough: the pipe stays readable until the process ends.
    if (g_pipe[1] >= 0) {
        char byte = 1;
        ssize_t ignored = write(g_pipe[1], &byte, 1);
        (void)ignored;
    }
    errno = saved;
}

}  // namespace

void installQuitSignals() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    if (pipe(g_pipe) == 0) {
        for (int fd : g_pipe) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, O_NONBLOCK);
        }
    } else {
        g_pipe[0] = g_pipe[1] = -1;
    }
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted calls go on; the second signal of a kind takes the default action.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM}) {
        // A signal ignored from the start stays ignored (a background job's SIGINT, nohup).
        struct sigaction previous = {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

bool quitRequested() { return g_requested != 0; }

int quitSignalFd() { return g_pipe[0]; }

}  // namespace platform
