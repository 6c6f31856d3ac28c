#pragma once
// The strong Lucas probable-prime test with Selfridge's parameters (method A: D the first of
// 5, -7, 9, -11, 13, ... with Jacobi (D/n) = -1, P = 1, Q = (1 - D) / 4). Together with the
// base-2 strong test it is Baillie-PSW; the Goldbach search has already run the base-2 test
// on its candidates, so it confirms a pair with this half alone. GMP keeps its own copy
// internal.
//
// Rather than V_k and Q^k (three products a bit), it runs the Q = 1 sequence of
// P' = P^2 / Q - 2, whose terms are V_2k / Q^k: two products a bit. Q being a unit modulo n,
// the strong conditions on U_d, V_d and V_(d 2^r) become conditions on those terms.
#include <NTL/ZZ.h>

#include <atomic>

// True when n is a strong Lucas probable prime: every prime, and rare composites (5459,
// 5777, ...). False for other composites, perfect squares, n < 2, even n but 2, and once
// `stop` has been seen true (the ladder reads it before every bit).
bool IsStrongLucasProbablePrime(const NTL::ZZ& n, const std::atomic<bool>& stop);
bool IsStrongLucasProbablePrime(const NTL::ZZ& n);
