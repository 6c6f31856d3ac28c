// Prime generation for the two users of primes: the per-object sieve (a bitset over
// 0..7,000,000) and the candidate sieve's residues (the odd primes below its deep bound, taken a
// block at a time). The engine's generator (OddPrimesIn, over NTL's PrimeSeq) against a sieve of
// Eratosthenes, which both users had by hand before.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "server/engine/odd_primes.h"
#include "server/engine/prime_caches.h"
#include "server/goldbach/candidate_sieve.h"

namespace {

constexpr std::uint32_t kDeepBound = CandidateSieve::kDeepBound;
constexpr std::uint32_t kBlock = 1u << 16;  // the residue thread's block

// The yardstick: the odd primes in [from, to), from odd, given the odd primes up to sqrt(to).
void EratosthenesIn(std::uint32_t from, std::uint32_t to, const std::vector<std::uint32_t>& base,
                    std::vector<std::uint32_t>& out) {
    std::vector<bool> composite((to - from) / 2, false);  // from + 2i
    for (std::uint32_t q : base) {
        std::uint64_t start = std::max<std::uint64_t>(std::uint64_t{q} * q, from);
        start += (q - start % q) % q;
        if (start % 2 == 0)
            start += q;
        for (std::uint64_t m = start; m < to; m += 2 * q)
            composite[(m - from) / 2] = true;
    }
    out.clear();
    for (std::size_t i = 0; i < composite.size(); ++i)
        if (!composite[i] && from + 2 * i > 1)
            out.push_back(static_cast<std::uint32_t>(from + 2 * i));
}

void ObjectSieveByEratosthenes(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<bool> sieve(PrimeCaches::kSieveLimit + 1, true);
        sieve[0] = false;
        sieve[1] = false;
        for (std::size_t a = 2; a * a <= PrimeCaches::kSieveLimit; ++a)
            if (sieve[a])
                for (std::size_t m = 2 * a; m <= PrimeCaches::kSieveLimit; m += a)
                    sieve[m] = false;
        benchmark::DoNotOptimize(sieve.size());
    }
}
BENCHMARK(ObjectSieveByEratosthenes)->Unit(benchmark::kMillisecond);

void ObjectSieveAsBuilt(benchmark::State& state) {
    for (auto _ : state) {
        PrimeCaches caches;
        caches.BuildSieve();
        benchmark::DoNotOptimize(caches.m_sieve.size());
    }
}
BENCHMARK(ObjectSieveAsBuilt)->Unit(benchmark::kMillisecond);

void CandidatePrimesByEratosthenes(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::uint32_t> base;
        EratosthenesIn(1, 1 << 12,
                       {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 59, 61}, base);
        std::vector<std::uint32_t> block;
        std::size_t count = 0;
        for (std::uint32_t from = 1; from < kDeepBound; from += kBlock) {
            EratosthenesIn(from, from + kBlock, base, block);
            count += block.size();
        }
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(CandidatePrimesByEratosthenes)->Unit(benchmark::kMillisecond);

void CandidatePrimesAsGenerated(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::uint32_t> block;
        std::size_t count = 0;
        for (std::uint32_t from = 1; from < kDeepBound; from += kBlock) {
            OddPrimesIn(from, from + kBlock, block);
            count += block.size();
        }
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(CandidatePrimesAsGenerated)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
