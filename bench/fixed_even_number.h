#pragma once
// The fixed even numbers the benchmarks search: seeded, so every run tests the same numbers.
#include <NTL/ZZ.h>

// An even number of exactly `digits` digits, drawn from NTL's stream seeded with
// `seed + digits` (each benchmark keeps its own seed, so its recorded results stay comparable).
inline NTL::ZZ FixedEvenNumber(long digits, long seed) {
    NTL::SetSeed(NTL::ZZ(seed + digits));
    NTL::ZZ low = NTL::power(NTL::ZZ(10), digits - 1);
    NTL::ZZ n = low + NTL::RandomBnd(9 * low);
    if (NTL::IsOdd(n))
        n += 1;
    if (n >= 10 * low)
        n -= 2;
    return n;
}
