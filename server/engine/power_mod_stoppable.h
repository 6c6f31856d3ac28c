#pragma once
// x^e modulo n with a stop flag read between the products. GMP's and NTL's exponentiation
// cannot be interrupted, and one of them takes about half a second at 16,000 bits, seconds at
// 30,000 and hours at a million: a call whose client has gone would run on for that long.
// Below kStoppableBits NTL's PowerMod does it whole (a few hundred milliseconds at most);
// from there on a sliding-window ladder of Barrett products, some 8% slower, looks at the
// flag before every product.
#include <NTL/ZZ.h>

#include <atomic>

constexpr long kStoppableBits = 16384;

// z = x^e mod n, for n odd and > 1, 0 <= x < n, e >= 0. False once `stop` has been seen
// true (z is then unspecified).
bool PowerModStoppable(NTL::ZZ& z, const NTL::ZZ& x, const NTL::ZZ& e, const NTL::ZZ& n,
                       const std::atomic<bool>& stop);
