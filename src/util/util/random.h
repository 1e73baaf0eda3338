// The scenes' random numbers. The sequence is the C library's srand()/rand() on glibc:
// its default generator (TYPE_3) is the additive feedback x[i] = x[i-3] + x[i-31]
// (mod 2^32) over 31 words seeded by the Park-Miller step, with the first 310 outputs
// thrown away, and each draw is x[i] >> 1 (0 to 2^31 - 1). Kept here because rand()
// takes a lock per draw, which made about half of a fireworks burst's frame (120,800
// draws in one frame); this one is inline and lock-free. Same seed, same values.
#pragma once

#include <cstdint>

constexpr int32_t kRandomMax = 2147483647;

struct RandomState {
    int32_t words[31];
    int front;  // x[i-3]: the word that takes the sum
    int rear;   // x[i-31]
};

// Process-wide, as the C library's is; starts as seedRandom(1) left it (as rand()
// without srand()).
extern RandomState g_randomState;

void seedRandom(uint32_t seed);

// The next draw of a state, 0 to kRandomMax.
inline int32_t nextRandom(RandomState& s) {
    uint32_t sum = uint32_t(s.words[s.front]) + uint32_t(s.words[s.rear]);
    s.words[s.front] = int32_t(sum);
    if (++s.front == 31) s.front = 0;
    if (++s.rear == 31) s.rear = 0;
    return int32_t(sum >> 1);
}

// The next draw of the process-wide state.
inline int32_t nextRandom() { return nextRandom(g_randomState); }
