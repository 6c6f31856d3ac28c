// Goldbach pair search: the pooled, stoppable search behind GetGBPairUsingRM against a plain
// sequential loop of NTL's ProbPrime(p, 0) && ProbPrime(n - p, 0), on the same fixed even
// numbers of 100, 1,000 and 2,000 digits (seeded, so every run tests the same numbers).
//
// Run by hand from a release build:
//   cmake --build --preset release --target goldbach_bench && build/release/bench/goldbach_bench
// (or any RelWithDebInfo/Release build dir: <build>/bench/goldbach_bench). The counter P1
// shows that both sides found the same pair.
#include <NTL/ZZ.h>
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>
#include <utility>

#include "bench/fixed_even_number.h"
#include "platform/win32.h"
#include "server/host/prime.h"

namespace {

constexpr long kSeed = 20240000;

std::u16string Decimal(const NTL::ZZ& n) {
    std::ostringstream text;
    text << n;
    std::string digits = text.str();
    return std::u16string(digits.begin(), digits.end());
}

void BM_GetGBPairUsingRM(benchmark::State& state) {
    const NTL::ZZ n = FixedEvenNumber(state.range(0), kSeed);
    _bstr_t number(Decimal(n));
    CComPtr<IPrime> prime;
    if (CPrime::CreateInstance(IID_IPrime, reinterpret_cast<void**>(&prime)) != S_OK) {
        state.SkipWithError("CPrime::CreateInstance failed");
        return;
    }
    std::string first;
    for (auto _ : state) {
        _bstr_t p1, p2;
        LONG found = 0;
        HRESULT hr = prime->GetGBPairUsingRM(number.GetBSTR(), 0, p1.GetAddress(), p2.GetAddress(),
                                             &found, 130);
        if (hr != S_OK || found != 1)
            state.SkipWithError("no pair");
        first = p1.ansi();
    }
    state.counters["P1"] = std::stod(first.empty() ? "0" : first);
}

void BM_SequentialProbPrime(benchmark::State& state) {
    const NTL::ZZ n = FixedEvenNumber(state.range(0), kSeed);
    const NTL::ZZ half = n / 2;
    NTL::ZZ found;
    for (auto _ : state) {
        for (NTL::ZZ p(3); p <= half; p += 2) {
            if (NTL::ProbPrime(p, 0) && NTL::ProbPrime(n - p, 0)) {
                found = p;
                break;
            }
        }
    }
    state.counters["P1"] = NTL::conv<double>(found);
}

}  // namespace

// Each size twice in a row, search first, so the two figures stand side by side.
int main(int argc, char** argv) {
    for (long digits : {100L, 1000L, 2000L}) {
        for (auto [name, function] : {std::pair{"GetGBPairUsingRM", &BM_GetGBPairUsingRM},
                                      std::pair{"SequentialProbPrime", &BM_SequentialProbPrime}}) {
            benchmark::RegisterBenchmark(name, function)
                ->Arg(digits)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1)
                ->UseRealTime();
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
