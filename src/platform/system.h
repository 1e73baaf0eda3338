// Operating-system services the engine needs: wall time for log stamps, a monotonic
// performance counter, a millisecond tick count, sleep and the last OS error code.
// A ClockSource can replace the counter and tick count (offline rendering and tests
// run on virtual time).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct UtcTime {
    int year, month, day, hour, minute, second, millisecond;
};

UtcTime utcNow();

// Monotonic counter ticks and their frequency (ticks per second). Both return false
// when no counter is available, as the frame timer expects of such a counter.
bool performanceFrequency(int64_t* frequency);
bool performanceCounter(int64_t* count);

// Milliseconds since an arbitrary point (wraps after 49.7 days).
uint32_t tickCount();

void sleepMs(uint32_t milliseconds);

// The folder of the running program's executable (links resolved); "." when unknown.
std::string executableFolder();

// errno of the last failed call, as the Win32 last-error code was used.
uint32_t lastError();

// Replaces the counter and tick count with virtual time; null restores the real clock.
class ClockSource {
public:
    virtual ~ClockSource() = default;
    virtual int64_t frequency() = 0;
    virtual int64_t counter() = 0;
    virtual uint32_t ticks() = 0;
};
void setClockSource(ClockSource* source);

}  // namespace platform
