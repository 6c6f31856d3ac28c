// Eight base-2 exponentiations at once with AVX-512 IFMA against GMP's mpz_powm, one core.
// Each of the eight 64-bit lanes holds its own odd modulus of the given size; the numbers are
// limb-sliced: vector j holds limb j (radix 2^52) of all eight. The exponentiation is
// 2^(m-1) mod m, the base-2 strong test's work, left to right over the exponent's bits; a
// bit's doubling is a one-bit shift of the squaring's first operand, so every bit costs one
// Montgomery product and no more. Every lane's residue is checked against mpz_powm before
// anything is timed.
//
// Run by hand from a release build (on a machine whose processor has avx512ifma):
//   cmake --build --preset release --target ifma_powm_bench && build/release/bench/ifma_powm_bench
// It prints Google Benchmark's table, then one line per size with the ratio of the two.
#include <benchmark/benchmark.h>
#include <gmp.h>
#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// GCC 12's AVX-512 intrinsics start from a self-initialised "undefined" vector, which
// -Wuninitialized reports wherever they are inlined.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#define KIV_IFMA __attribute__((target("avx512f,avx512ifma,avx512vl")))

namespace {

constexpr int kLanes = 8;
constexpr int kRadixBits = 52;
constexpr std::uint64_t kMask = (std::uint64_t{1} << kRadixBits) - 1;

// Eight 64-bit lanes, as one zmm register holds them.
struct alignas(64) Lane8 {
    std::uint64_t v[kLanes];
};

class MpzValue {
  public:
    MpzValue() { mpz_init(m_value); }
    ~MpzValue() { mpz_clear(m_value); }
    MpzValue(const MpzValue&) = delete;
    MpzValue& operator=(const MpzValue&) = delete;
    mpz_ptr get() { return m_value; }
    mpz_srcptr get() const { return m_value; }

  private:
    mpz_t m_value;
};

// Limbs 0..count-1 of x in radix 2^52.
std::vector<std::uint64_t> Limbs52(mpz_srcptr x, int count) {
    std::vector<std::uint64_t> limbs(count);
    for (int j = 0; j < count; ++j) {
        const mp_bitcnt_t bit = static_cast<mp_bitcnt_t>(j) * kRadixBits;
        std::uint64_t limb = 0;
        for (int k = 0; k < kRadixBits; ++k)
            limb |= static_cast<std::uint64_t>(mpz_tstbit(x, bit + k)) << k;
        limbs[j] = limb;
    }
    return limbs;
}

// -m^-1 mod 2^52 for odd m: Newton's iteration doubles the correct low bits (3 at the start).
std::uint64_t NegInverse52(std::uint64_t m) {
    std::uint64_t inv = m;
    for (int k = 0; k < 5; ++k)
        inv *= 2 - m * inv;
    return (0 - inv) & kMask;
}

// The eight moduli and what the exponentiation needs of them.
struct Moduli8 {
    int limbs = 0;                // n: every number has n limbs of 52 bits
    int exponentBits = 0;         // of the longest m-1
    std::vector<Lane8> modulus;   // n limbs
    Lane8 negInverse{};           // -m^-1 mod 2^52
    std::vector<Lane8> montOne;   // R mod m, R = 2^(52 n)
    std::vector<Lane8> exponent;  // m-1, 64 bits a word
};

Moduli8 Prepare(const MpzValue (&moduli)[kLanes]) {
    Moduli8 set;
    std::size_t bits = 0;
    for (const MpzValue& m : moduli)
        bits = std::max(bits, mpz_sizeinbase(m.get(), 2));
    // 8m < R keeps a product of a doubled operand (< 4m) and one < 2m below 2m.
    set.limbs = static_cast<int>((bits + 3 + kRadixBits - 1) / kRadixBits);
    set.exponentBits = static_cast<int>(bits);
    set.modulus.resize(set.limbs);
    set.montOne.resize(set.limbs);
    set.exponent.resize((bits + 63) / 64);
    MpzValue r, e;
    for (int lane = 0; lane < kLanes; ++lane) {
        mpz_srcptr m = moduli[lane].get();
        const std::vector<std::uint64_t> mLimbs = Limbs52(m, set.limbs);
        mpz_set_ui(r.get(), 0);
        mpz_setbit(r.get(), static_cast<mp_bitcnt_t>(set.limbs) * kRadixBits);
        mpz_mod(r.get(), r.get(), m);
        const std::vector<std::uint64_t> oneLimbs = Limbs52(r.get(), set.limbs);
        for (int j = 0; j < set.limbs; ++j) {
            set.modulus[j].v[lane] = mLimbs[j];
            set.montOne[j].v[lane] = oneLimbs[j];
        }
        set.negInverse.v[lane] = NegInverse52(mLimbs[0]);
        mpz_sub_ui(e.get(), m, 1);
        for (std::size_t w = 0; w < set.exponent.size(); ++w)
            set.exponent[w].v[lane] = mpz_getlimbn(e.get(), static_cast<mp_size_t>(w));
    }
    return set;
}

KIV_IFMA inline __m512i Load(const Lane8& x) {
    return _mm512_load_si512(x.v);
}
KIV_IFMA inline void Store(Lane8& x, __m512i v) {
    _mm512_store_si512(x.v, v);
}

KIV_IFMA inline __m512i Lo(__m512i acc, __m512i a, __m512i b) {
    return _mm512_madd52lo_epu64(acc, a, b);
}
KIV_IFMA inline __m512i Hi(__m512i acc, __m512i a, __m512i b) {
    return _mm512_madd52hi_epu64(acc, a, b);
}

// Column k of AddRows, reading y only inside [0, len).
template <int R>
KIV_IFMA inline void AddColumnGuarded(Lane8* t, const __m512i (&x)[R], const Lane8* y, int len,
                                      int d, int k) {
    // lo(x_r y[k+d-r]) for k+d-len < r <= k+d, hi(x_r y[k+d-1-r]) for k+d-1-len < r < k+d.
    __m512i lo = Load(t[k]);
    __m512i hi = _mm512_setzero_si512();
    for (int r = std::max(0, k + d - len + 1); r <= std::min(R - 1, k + d); ++r)
        lo = Lo(lo, x[r], Load(y[k + d - r]));
    for (int r = std::max(0, k + d - len); r <= std::min(R - 1, k + d - 1); ++r)
        hi = Hi(hi, x[r], Load(y[k + d - 1 - r]));
    Store(t[k], _mm512_add_epi64(lo, hi));
}

// t[k] += sum over r < R of lo(x_r y[k+d-r]) + hi(x_r y[k+d-1-r]) for 0 <= k < kEnd, y zero
// outside [0, len): R rows of a schoolbook product at once, so that each column's partial sum
// is loaded and stored once for 2R multiplications. The limbs of t take the sums unnormalised.
template <int R>
KIV_IFMA inline void AddRows(Lane8* __restrict t, const __m512i (&x)[R], const Lane8* __restrict y,
                             int len, int d, int kEnd) {
    const int kLo = std::min(std::max(R - d, 0), kEnd);
    const int kHi = std::max(std::min(len - d, kEnd), kLo);
    for (int k = 0; k < kLo; ++k)
        AddColumnGuarded<R>(t, x, y, len, d, k);
    for (int k = kLo; k < kHi; ++k) {
        __m512i lo = Load(t[k]);
        __m512i hi = _mm512_setzero_si512();
#pragma GCC unroll 16
        for (int r = 0; r < R; ++r) {
            lo = Lo(lo, x[r], Load(y[k + d - r]));
            hi = Hi(hi, x[r], Load(y[k + d - 1 - r]));
        }
        Store(t[k], _mm512_add_epi64(lo, hi));
    }
    for (int k = kHi; k < kEnd; ++k)
        AddColumnGuarded<R>(t, x, y, len, d, k);
}

constexpr int kBlock = 8;

// Rows j..j+R-1 of a's square below the diagonal: a_{j+r} a_i for i < j + r.
template <int R>
KIV_IFMA inline void SquareRows(const Lane8* __restrict a, int j, Lane8* __restrict t) {
    __m512i x[R];
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r)
        x[r] = Load(a[j + r]);
    AddRows<R>(t + j, x, a, j, 0, j + R);
#pragma GCC unroll 16
    for (int r = 1; r < R; ++r)
#pragma GCC unroll 16
        for (int c = 0; c < r; ++c) {
            const __m512i ac = Load(a[j + c]);
            Store(t[2 * j + r + c], Lo(Load(t[2 * j + r + c]), x[r], ac));
            Store(t[2 * j + r + c + 1], Hi(Load(t[2 * j + r + c + 1]), x[r], ac));
        }
}

// t[0, 2n) = a^2 2^s, s each lane's shift (0 or 1), limbs unnormalised: the products below the
// diagonal once, doubled (with the shift) and the squares of the limbs added.
KIV_IFMA void SquareShifted(const Lane8* __restrict a, int n, __m512i s, Lane8* __restrict t) {
    for (int k = 0; k < 2 * n; ++k)
        Store(t[k], _mm512_setzero_si512());
    int j = 0;
    for (; j + kBlock <= n; j += kBlock)
        SquareRows<kBlock>(a, j, t);
    for (; j < n; ++j)
        SquareRows<1>(a, j, t);
    const __m512i up = _mm512_add_epi64(s, _mm512_set1_epi64(1));
    for (int i = 0; i < n; ++i) {
        const __m512i ai = Load(a[i]);
        const __m512i zero = _mm512_setzero_si512();
        Store(t[2 * i], _mm512_add_epi64(_mm512_sllv_epi64(Load(t[2 * i]), up),
                                         _mm512_sllv_epi64(Lo(zero, ai, ai), s)));
        Store(t[2 * i + 1], _mm512_add_epi64(_mm512_sllv_epi64(Load(t[2 * i + 1]), up),
                                             _mm512_sllv_epi64(Hi(zero, ai, ai), s)));
    }
}

// Rows i..i+R-1 of the Montgomery reduction: each q_r makes limb i+r vanish. The q's follow one
// another through the block's first R limbs; the rest of the rows go as one block.
template <int R>
KIV_IFMA inline void ReduceRows(const Lane8* __restrict m, const __m512i mp, int n, int i,
                                Lane8* __restrict t) {
    const __m512i zero = _mm512_setzero_si512();
    __m512i head[R];
    __m512i q[R];
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r)
        head[r] = Load(t[i + r]);
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
        q[r] = Lo(zero, head[r], mp);
#pragma GCC unroll 16
        for (int c = r; c < R; ++c)
            head[c] = Lo(head[c], q[r], Load(m[c - r]));
#pragma GCC unroll 16
        for (int c = r + 1; c < R; ++c)
            head[c] = Hi(head[c], q[r], Load(m[c - r - 1]));
        const __m512i carry = _mm512_srli_epi64(head[r], kRadixBits);
        if (r + 1 < R)
            head[r + 1] = _mm512_add_epi64(head[r + 1], carry);
        else
            Store(t[i + R], _mm512_add_epi64(Load(t[i + R]), carry));
    }
    AddRows<R>(t + i + R, q, m, n, R, n);
}

// t[n, 2n) = t[0, 2n) / R mod m, almost reduced, limbs unnormalised.
KIV_IFMA void Reduce(const Lane8* __restrict m, const Lane8& negInverse, int n,
                     Lane8* __restrict t) {
    const __m512i mp = Load(negInverse);
    int i = 0;
    for (; i + kBlock <= n; i += kBlock)
        ReduceRows<kBlock>(m, mp, n, i, t);
    for (; i < n; ++i)
        ReduceRows<1>(m, mp, n, i, t);
}

// x = t[0, n) with its carries moved up into 52-bit limbs.
KIV_IFMA void Normalise(const Lane8* __restrict t, int n, Lane8* __restrict x) {
    const __m512i mask = _mm512_set1_epi64(static_cast<long long>(kMask));
    __m512i carry = _mm512_setzero_si512();
    for (int j = 0; j < n; ++j) {
        const __m512i v = _mm512_add_epi64(Load(t[j]), carry);
        Store(x[j], _mm512_and_si512(v, mask));
        carry = _mm512_srli_epi64(v, kRadixBits);
    }
}

// Every lane's exponent bit k, as a shift count.
KIV_IFMA __m512i ExponentBit(const Moduli8& set, int k) {
    const __m512i word = Load(set.exponent[k / 64]);
    return _mm512_and_si512(_mm512_srli_epi64(word, k % 64), _mm512_set1_epi64(1));
}

// x = 2^(m-1) R mod m for every lane, almost reduced (< 2m), 52-bit limbs; t has 2n limbs.
// Each bit is one squaring whose doubling, when the bit is set, shifts the square before the
// reduction: (x^2 2^s + q m) / R stays below 2m as long as 8m < R.
KIV_IFMA void PowerOfTwo(const Moduli8& set, std::vector<Lane8>& x, std::vector<Lane8>& t) {
    const int n = set.limbs;
    std::copy(set.montOne.begin(), set.montOne.end(), x.begin());
    for (int k = set.exponentBits - 1; k >= 0; --k) {
        SquareShifted(x.data(), n, ExponentBit(set, k), t.data());
        Reduce(set.modulus.data(), set.negInverse, n, t.data());
        Normalise(t.data() + n, n, x.data());
    }
}

// The eight residues 2^(m-1) mod m, out of Montgomery form (one more reduction).
KIV_IFMA std::vector<Lane8> Residues8(const Moduli8& set) {
    const int n = set.limbs;
    std::vector<Lane8> x(n), t(2 * n), y(n);
    PowerOfTwo(set, x, t);
    std::fill(t.begin(), t.end(), Lane8{});
    std::copy(x.begin(), x.end(), t.begin());
    Reduce(set.modulus.data(), set.negInverse, n, t.data());
    Normalise(t.data() + n, n, y.data());
    return y;
}

// Eight random odd moduli of `digits` decimal digits, the same on every run.
void RandomModuli(int digits, MpzValue (&moduli)[kLanes]) {
    gmp_randstate_t state;
    gmp_randinit_mt(state);
    gmp_randseed_ui(state, 20260000 + static_cast<unsigned long>(digits));
    MpzValue low, span;
    mpz_ui_pow_ui(low.get(), 10, static_cast<unsigned long>(digits - 1));
    mpz_mul_ui(span.get(), low.get(), 9);
    for (MpzValue& m : moduli) {
        mpz_urandomm(m.get(), state, span.get());
        mpz_add(m.get(), m.get(), low.get());
        mpz_setbit(m.get(), 0);
    }
    gmp_randclear(state);
}

// Every lane's residue equals mpz_powm's, or the benchmark does not run.
void CheckAgainstGmp(const Moduli8& set, const MpzValue (&moduli)[kLanes]) {
    const std::vector<Lane8> y = Residues8(set);
    MpzValue two, e, expected, got, limb;
    mpz_set_ui(two.get(), 2);
    for (int lane = 0; lane < kLanes; ++lane) {
        mpz_sub_ui(e.get(), moduli[lane].get(), 1);
        mpz_powm(expected.get(), two.get(), e.get(), moduli[lane].get());
        mpz_set_ui(got.get(), 0);
        for (int j = set.limbs - 1; j >= 0; --j) {
            mpz_mul_2exp(got.get(), got.get(), kRadixBits);
            mpz_add_ui(got.get(), got.get(), y[j].v[lane]);
        }
        mpz_mod(got.get(), got.get(), moduli[lane].get());
        if (mpz_cmp(got.get(), expected.get()) != 0)
            throw std::runtime_error("lane " + std::to_string(lane) + " differs from mpz_powm");
    }
}

void SetRates(benchmark::State& state, const Moduli8& set) {
    state.counters["exps/s"] =
        benchmark::Counter(kLanes, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["products/s"] = benchmark::Counter(
        double{kLanes} * set.exponentBits, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Ifma8Lanes(benchmark::State& state) {
    MpzValue moduli[kLanes];
    RandomModuli(static_cast<int>(state.range(0)), moduli);
    const Moduli8 set = Prepare(moduli);
    CheckAgainstGmp(set, moduli);
    std::vector<Lane8> x(set.limbs), t(2 * set.limbs);
    for (auto _ : state) {
        PowerOfTwo(set, x, t);
        benchmark::DoNotOptimize(x.data());
    }
    SetRates(state, set);
}

void BM_GmpPowm(benchmark::State& state) {
    MpzValue moduli[kLanes];
    RandomModuli(static_cast<int>(state.range(0)), moduli);
    const Moduli8 set = Prepare(moduli);
    MpzValue two, e, r;
    mpz_set_ui(two.get(), 2);
    for (auto _ : state)
        for (const MpzValue& m : moduli) {
            mpz_sub_ui(e.get(), m.get(), 1);
            mpz_powm(r.get(), two.get(), e.get(), m.get());
        }
    SetRates(state, set);
}

BENCHMARK(BM_Ifma8Lanes)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GmpPowm)->Arg(1000)->Arg(2000)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Google Benchmark's table, then each size's ratio of the two throughputs.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.benchmark_name();
            const auto slash = name.find('/');
            const auto rate = run.counters.find("exps/s");
            if (slash == std::string::npos || rate == run.counters.end() ||
                run.run_type != Run::RT_Iteration)
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
    if (!__builtin_cpu_supports("avx512ifma")) {
        std::fprintf(stderr, "this processor has no avx512ifma\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
