// Progress events on a long pair search: FindGoldbachPair with a sink that records every
// Progress (events on) against the same search with no sink (events off). Firing is meant to
// cost a long search less than 1%; the counter Events shows how many the sink received. The
// search's threads make its time vary from run to run by more than that, so the same pair is
// also timed on a single-threaded long call, trial division of 2^61 - 1, whose work is fixed.
//
// Run by hand from a release build:
//   cmake --build --preset release --target progress_events_bench &&
//   build/release/bench/progress_events_bench
#include <NTL/ZZ.h>
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "bench/fixed_even_number.h"
#include "platform/win32.h"
#include "server/host/prime.h"
#include "tests/support/progress_sink.h"

namespace {

// The fixed even number of `digits` digits, as text.
std::u16string FixedEvenText(long digits) {
    std::ostringstream text;
    text << FixedEvenNumber(digits, 20261209);
    const std::string decimal = text.str();
    return std::u16string(decimal.begin(), decimal.end());
}

// A Prime object, with the recording sink advised when `withSink`.
struct BenchPrime {
    kivtest::ProgressSink sink;  // declared first: the object holds it until the object goes
    CComPtr<IPrime2> prime;

    // An empty text, or why the object could not be had.
    std::string Open(bool withSink) {
        if (CPrime::CreateInstance(IID_IPrime2, reinterpret_cast<void**>(&prime)) != S_OK)
            return "CPrime::CreateInstance failed";
        if (withSink && kivtest::Advise(prime, &sink) == 0)
            return "Advise failed";
        return {};
    }
};

// range(0): digits; range(1): 1 with a sink, 0 without.
void BM_FindGoldbachPair(benchmark::State& state) {
    const _bstr_t number(FixedEvenText(state.range(0)).c_str());
    BenchPrime bench;
    if (std::string problem = bench.Open(state.range(1) != 0); !problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    for (auto _ : state) {
        CComPtr<IGoldbachPair> pair;
        VARIANT_BOOL found = VARIANT_FALSE;
        if (bench.prime->FindGoldbachPair(number.GetBSTR(), 0, 130, &pair) != S_OK ||
            pair->get_Found(&found) != S_OK || found == VARIANT_FALSE)
            state.SkipWithError("no pair");
    }
    state.counters["Events"] = static_cast<double>(bench.sink.events.size());
}

// range(0): 1 with a sink, 0 without.
void BM_TrialDivision(benchmark::State& state) {
    const _bstr_t number(u"2305843009213693951");
    BenchPrime bench;
    if (std::string problem = bench.Open(state.range(0) != 0); !problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    for (auto _ : state) {
        VARIANT_BOOL isPrime = VARIANT_FALSE;
        if (bench.prime->IsPrimeNumber(number.GetBSTR(), kivTrial_Division, 0, &isPrime) != S_OK ||
            isPrime != VARIANT_TRUE)
            state.SkipWithError("not prime");
    }
    state.counters["Events"] = static_cast<double>(bench.sink.events.size());
}

}  // namespace

BENCHMARK(BM_TrialDivision)
    ->Arg(0)
    ->Arg(1)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

BENCHMARK(BM_FindGoldbachPair)
    ->ArgsProduct({{3000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(3);

BENCHMARK_MAIN();
