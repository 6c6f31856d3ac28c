// Eight base-2 exponentiations at once with AVX-512 IFMA (the engine's LaneExponentiation)
// against GMP's mpz_powm, one core. Each of the eight 64-bit lanes holds its own odd modulus of
// the given size, limb-sliced in radix 2^52; the exponentiation is 2^(m-1) mod m, the base-2
// strong test's work, one Montgomery squaring per exponent bit (a set bit's doubling is a
// shift of the square). Every lane's residue is checked against mpz_powm before anything is
// timed.
//
// Run by hand from a release build (on a machine whose processor has avx512ifma):
//   cmake --build --preset release --target ifma_powm_bench && build/release/bench/ifma_powm_bench
// It prints Google Benchmark's table, then one line per size with the ratio of the two.
#include <benchmark/benchmark.h>
#include <gmp.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/engine/lane_exponentiation.h"
#include "server/engine/mpz.h"
#include "server/engine/multi_lane_powm.h"

namespace {

constexpr int kLanes = LaneExponentiation::kLanes;

// Eight random odd moduli of `digits` decimal digits, the same on every run.
std::vector<NTL::ZZ> RandomModuli(long digits) {
    NTL::SetSeed(NTL::ZZ(20260000 + digits));
    const NTL::ZZ low = NTL::power(NTL::ZZ(10), digits - 1);
    std::vector<NTL::ZZ> moduli(kLanes);
    for (NTL::ZZ& m : moduli)
        m = (low + NTL::RandomBnd(9 * low)) | 1;
    return moduli;
}

std::vector<NTL::ZZ> MinusOne(const std::vector<NTL::ZZ>& moduli) {
    std::vector<NTL::ZZ> exponents(moduli);
    for (NTL::ZZ& e : exponents)
        e -= 1;
    return exponents;
}

// mpz_powm(2, e, m) into z.
void GmpPowerOfTwo(Mpz& z, const NTL::ZZ& e, const NTL::ZZ& m) {
    Mpz two;
    mpz_set_ui(two.get(), 2);
    const MpzView ev(e);
    const MpzView mv(m);
    mpz_powm(z.get(), two.get(), ev.value, mv.value);
}

// Every lane's residue equals mpz_powm's, or the benchmark does not run.
void CheckAgainstGmp(const LaneExponentiation& lanes, const std::vector<NTL::ZZ>& moduli) {
    const std::vector<NTL::ZZ> exponents = MinusOne(moduli);
    for (int lane = 0; lane < kLanes; ++lane) {
        Mpz expected;
        GmpPowerOfTwo(expected, exponents[lane], moduli[lane]);
        const NTL::ZZ got = lanes.Residue(lane);
        const MpzView gv(got);
        if (mpz_cmp(gv.value, expected.get()) != 0)
            throw std::runtime_error("lane " + std::to_string(lane) + " differs from mpz_powm");
    }
}

// One product per exponent bit (GMP's sliding window adds about one in six to its own count).
void SetRates(benchmark::State& state, long exponentBits) {
    state.counters["exps/s"] =
        benchmark::Counter(kLanes, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["products/s"] =
        benchmark::Counter(double{kLanes} * static_cast<double>(exponentBits),
                           benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Ifma8Lanes(benchmark::State& state) {
    const std::vector<NTL::ZZ> moduli = RandomModuli(state.range(0));
    const std::vector<NTL::ZZ> exponents = MinusOne(moduli);
    LaneExponentiation lanes(moduli, exponents);
    const std::atomic<bool> stop{false};
    lanes.Run(stop);
    CheckAgainstGmp(lanes, moduli);
    for (auto _ : state)
        benchmark::DoNotOptimize(lanes.Run(stop));
    SetRates(state, lanes.ExponentBits());
}

void BM_GmpPowm(benchmark::State& state) {
    const std::vector<NTL::ZZ> moduli = RandomModuli(state.range(0));
    const std::vector<NTL::ZZ> exponents = MinusOne(moduli);
    Mpz z;
    for (auto _ : state)
        for (int lane = 0; lane < kLanes; ++lane)
            GmpPowerOfTwo(z, exponents[lane], moduli[lane]);
    long bits = 0;
    for (const NTL::ZZ& e : exponents)
        bits = std::max(bits, NTL::NumBits(e));
    SetRates(state, bits);
}

BENCHMARK(BM_Ifma8Lanes)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GmpPowm)->Arg(1000)->Arg(2000)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Google Benchmark's table, then each size's ratio of the two throughputs (the medians when
// there are repetitions).
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}  // no colours: the table is pasted

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With repetitions the median comes after the single runs and replaces them.
            const std::string name = run.run_name.str();
            const auto slash = name.find('/');
            const auto rate = run.counters.find("exps/s");
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (slash == std::string::npos || rate == run.counters.end() ||
                (run.run_type != Run::RT_Iteration && !median))
                continue;
            m_rates[std::stoi(name.substr(slash + 1))][name.substr(0, slash)] = rate->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\ndigits  8-lane exps/s  GMP exps/s  ratio\n");
        for (auto& [digits, rates] : m_rates) {
            const double lanes = rates["BM_Ifma8Lanes"];
            const double gmp = rates["BM_GmpPowm"];
            std::printf("%6d  %13.1f  %10.1f  %5.2f\n", digits, lanes, gmp,
                        gmp > 0 ? lanes / gmp : 0.0);
        }
    }

  private:
    std::map<int, std::map<std::string, double>> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    if (!LanesSupported()) {
        std::fprintf(stderr, "this processor (or its operating system) has no AVX-512 IFMA\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
