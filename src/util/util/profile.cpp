#include "util/util/profile.h"

#include <ctime>

namespace profile {

namespace {
bool g_enabled = false;
int64_t g_gatheredNs[kCounterCount] = {};
uint64_t g_scopes[kCounterCount] = {};
}  // namespace

int64_t nowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void enable(bool on) { g_enabled = on; }
bool enabled() { return g_enabled; }

Scope::Scope(Counter counter) : counter_(counter), startNs_(g_enabled ? nowNs() : 0) {}

Scope::~Scope() {
    if (!g_enabled || startNs_ == 0) return;
    g_gatheredNs[counter_] += nowNs() - startNs_;
    ++g_scopes[counter_];
}

double takeSeconds(Counter counter) {
    double seconds = double(g_gatheredNs[counter]) * 1e-9;
    g_gatheredNs[counter] = 0;
    return seconds;
}

uint64_t scopeCount(Counter counter) { return g_scopes[counter]; }

}  // namespace profile
