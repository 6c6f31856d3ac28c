#pragma once
// Base-2 exponentiations of up to eight odd numbers at once, as the strong tests of a search's
// candidates need them: where the processor has AVX-512 IFMA and the operating system saves
// its registers, the eight lanes of LaneExponentiation; elsewhere, for numbers too long for
// the lanes, or when a test forces it, one stoppable exponentiation (NTL over GMP) after
// another. Both answer alike.
#include <NTL/ZZ.h>

#include <atomic>
#include <span>
#include <vector>

constexpr int kPowmLanes = 8;

// The processor reports avx512f, avx512ifma and avx512vl (CPUID leaf 7) and the operating
// system has enabled the SSE, AVX, opmask and zmm state (XCR0 bits 1-2 and 5-7).
bool LanesSupported();

// Whether the calls below take the lanes: supported and not forced off.
bool LanesInUse();

// Whether the calls below take the lanes for numbers of up to this many bits: in use, and
// the numbers fit them.
bool LanesTake(long bits);

// Sends every later call down the one-at-a-time (GMP) path, or back; for tests.
void ForceGmpPowm(bool force);

// residues[i] = 2^(m_i - 1) mod m_i for one to eight odd m_i > 1, of any sizes. False once
// `stop` was seen true (the residues are then unspecified).
bool PowersOfTwoModuli(std::span<const NTL::ZZ> moduli, std::vector<NTL::ZZ>& residues,
                       const std::atomic<bool>& stop);

// verdicts[i]: n_i, odd and > 2, is a strong probable prime to base 2 (NTL's MillerWitness(n,
// 2) is 0), for one to eight numbers. False once `stop` was seen true (the verdicts are then
// unspecified).
bool StrongProbablePrimesBase2(std::span<const NTL::ZZ> n, std::vector<bool>& verdicts,
                               const std::atomic<bool>& stop);
