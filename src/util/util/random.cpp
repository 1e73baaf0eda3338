#include "util/util/random.h"

namespace {
RandomState seeded(uint32_t seed) {
    RandomState s{};
    // Seed 0 would leave every word 0; the C library takes 1 instead.
    int32_t word = int32_t(seed == 0 ? 1 : seed);
    s.words[0] = word;
    for (int i = 1; i < 31; ++i) {
        // word = 16807 * word mod (2^31 - 1), split so nothing overflows 31 bits.
        long hi = word / 127773;
        long lo = word % 127773;
        word = int32_t(16807 * lo - 2836 * hi);
        if (word < 0) word += 2147483647;
        s.words[i] = word;
    }
    s.front = 3;
    s.rear = 0;
    for (int i = 0; i < 310; ++i) nextRandom(s);
    return s;
}
}  // namespace

RandomState g_randomState = seeded(1);

void seedRandom(uint32_t seed) { g_randomState = seeded(seed); }
