// Prime engine: the AKS-based test (with its confirmation), 64-bit trial division and the
// Rabin-Miller method of IsPrime, each beside NTL's ProbPrime(n, 10) on the same value.
// Caches are emptied before every iteration so each one computes.
//
// Run by hand from a release build:
//   cmake --build --preset release --target engine_bench && build/release/bench/engine_bench
// (or any RelWithDebInfo/Release build dir: <build>/bench/engine_bench). Trial division of
// 4611686014132420609 makes about 10^9 divisions: expect a second or more per iteration.
#include <NTL/ZZ.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "platform/win32.h"
#include "server/engine/aks_test.h"
#include "server/engine/prime_engine.h"
#include "server/interface/iprime.h"
#include "server/interface/ntl_errors.h"

namespace {

constexpr long kNumTrials = 10;  // NTL's default

std::uint64_t Mersenne61() {
    return 2'305'843'009'213'693'951ull;
}

// A prime of exactly 63 bits, the same on every run.
std::uint64_t Random63BitPrime() {
    NTL::SetSeed(NTL::ZZ(20240663));
    return NTL::conv<unsigned long>(NTL::RandomPrime_ZZ(63));
}

// A prime of exactly 1000 decimal digits, the same on every run.
const NTL::ZZ& Prime1000Digits() {
    static const NTL::ZZ prime = [] {
        NTL::SetSeed(NTL::ZZ(20241000));
        const NTL::ZZ low = NTL::power(NTL::ZZ(10), 999);
        return NTL::NextPrime(low + NTL::RandomBnd(8 * low));
    }();
    return prime;
}

NTL::ZZ ZZOf(std::uint64_t a) {
    return NTL::conv<NTL::ZZ>(std::to_string(a).c_str());
}

void BM_AKSTest(benchmark::State& state, std::uint64_t (*value)()) {
    UseNtlExceptions();
    const std::uint64_t a = value();
    const NTL::ZZ n = ZZOf(a);
    for (auto _ : state)
        benchmark::DoNotOptimize(AKSTest(a, n));
    state.counters["prime"] = static_cast<double>(AKSTest(a, n));
}

void BM_ProbPrime64(benchmark::State& state, std::uint64_t (*value)()) {
    UseNtlExceptions();
    const NTL::ZZ n = ZZOf(value());
    for (auto _ : state)
        benchmark::DoNotOptimize(NTL::ProbPrime(n, kNumTrials));
}

BENCHMARK_CAPTURE(BM_AKSTest, mersenne61, &Mersenne61)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ProbPrime64, mersenne61, &Mersenne61)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_AKSTest, random63, &Random63BitPrime)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ProbPrime64, random63, &Random63BitPrime)->Unit(benchmark::kMicrosecond);

std::uint64_t SquareOfMersenne31() {
    return 4'611'686'014'132'420'609ull;
}

void BM_TrialDivision64(benchmark::State& state) {
    UseNtlExceptions();
    auto engine = std::make_unique<PrimeEngine>();  // the sieve is held in place
    engine->BuildSieve();
    const std::uint64_t a = SquareOfMersenne31();
    for (auto _ : state) {
        engine->m_setComposites64.clear();
        benchmark::DoNotOptimize(engine->IsPrimeTrialDivision64(a));
    }
}

BENCHMARK(BM_TrialDivision64)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_ProbPrime64, square_of_mersenne31, &SquareOfMersenne31)
    ->Unit(benchmark::kMicrosecond);

void BM_IsPrimeRabinMiller1000Digits(benchmark::State& state) {
    UseNtlExceptions();
    std::ostringstream text;
    text << Prime1000Digits();
    const std::string digits = text.str();
    auto engine = std::make_unique<PrimeEngine>();
    long ret = 0;
    for (auto _ : state) {
        engine->m_setPrimesZZ.clear();
        ret = engine->IsPrimeBody(digits, kivRabin_Miller, kNumTrials);
    }
    state.counters["prime"] = ret;
}

void BM_ProbPrime1000Digits(benchmark::State& state) {
    UseNtlExceptions();
    const NTL::ZZ& n = Prime1000Digits();
    for (auto _ : state)
        benchmark::DoNotOptimize(NTL::ProbPrime(n, kNumTrials));
}

BENCHMARK(BM_IsPrimeRabinMiller1000Digits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProbPrime1000Digits)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
