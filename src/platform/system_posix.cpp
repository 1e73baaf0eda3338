#include "platform/system.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace platform {

namespace {
ClockSource* g_clock = nullptr;

int64_t monotonicNanoseconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
}  // namespace

UtcTime utcNow() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm parts;
    gmtime_r(&ts.tv_sec, &parts);
    return UtcTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                   parts.tm_min, parts.tm_sec, int(ts.tv_nsec / 1000000)};
}

bool performanceFrequency(int64_t* frequency) {
    *frequency = g_clock ? g_clock->frequency() : 1000000000;
    return true;
}

bool performanceCounter(int64_t* count) {
    *count = g_clock ? g_clock->counter() : monotonicNanoseconds();
    return true;
}

uint32_t tickCount() {
    if (g_clock) return g_clock->ticks();
    return uint32_t(monotonicNanoseconds() / 1000000);
}

void sleepMs(uint32_t milliseconds) {
    timespec ts{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

std::string executableFolder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string folder(path, size_t(n));
    size_t slash = folder.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
}

uint32_t lastError() { return uint32_t(errno); }

void setClockSource(ClockSource* source) { g_clock = source; }

}  // namespace platform
