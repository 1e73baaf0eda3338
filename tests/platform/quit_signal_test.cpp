#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/quit_signal.h"

namespace {

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

// In a child of its own each: the handlers are the process's.
int firstSignalAsksSecondEnds(int signal) {
    platform::installQuitSignals();
    if (platform::quitRequested() || readable(platform::quitSignalFd())) return 2;
    raise(signal);
    if (!platform::quitRequested() || !readable(platform::quitSignalFd())) return 3;
    fprintf(stderr, "still running after the first signal\n");
    raise(signal);  // the default action now: the process ends by the signal
    return 4;
}

TEST(QuitSignal, TheFirstSignalIsARequestTheSecondEndsTheProcess) {
    for (int signal : {SIGINT, SIGTERM})
        EXPECT_EXIT(exit(firstSignalAsksSecondEnds(signal)), testing::KilledBySignal(signal),
                    "still running after the first signal")
            << strsignal(signal);
}

TEST(QuitSignal, ASignalIgnoredFromTheStartStaysIgnored) {
    EXPECT_EXIT(
        {
            signal(SIGINT, SIG_IGN);
            platform::installQuitSignals();
            raise(SIGINT);
            raise(SIGINT);
            exit(platform::quitRequested() ? 2 : 0);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
