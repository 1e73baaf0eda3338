// Cost counters for the frame-rate benchmark: the wall time spent in marked regions
// (the scenes' particle updates) and event counts, per frame. Off unless a benchmark
// switches them on; a Scope then costs two clock reads.
#pragma once

#include <cstdint>

namespace profile {

enum Counter : int {
    kSimulation = 0,  // particle and star updates, no OpenGL calls
    kCounterCount
};

void enable(bool on);
bool enabled();

// Adds the wall time of its life to a counter while profiling is on.
class Scope {
public:
    explicit Scope(Counter counter);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    Counter counter_;
    int64_t startNs_;
};

// Seconds gathered since the last take, then zero again.
double takeSeconds(Counter counter);
// How many scopes ever closed on the counter while profiling was on: 0 tells that
// nothing in the run is marked.
uint64_t scopeCount(Counter counter);

// Monotonic nanoseconds (the real clock, whatever clock source the engine uses).
int64_t nowNs();

}  // namespace profile
