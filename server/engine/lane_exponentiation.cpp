#include "server/engine/lane_exponentiation.h"

#include <NTL/ZZ_limbs.h>
#include <immintrin.h>

#include <algorithm>
#include <stdexcept>

// GCC 12's AVX-512 intrinsics start from a self-initialised "undefined" vector, which
// -Wuninitialized reports wherever they are inlined.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#define KIV_IFMA __attribute__((target("avx512f,avx512ifma,avx512vl")))

namespace {

constexpr int kRadixBits = 52;
constexpr std::uint64_t kMask = (std::uint64_t{1} << kRadixBits) - 1;
constexpr int kLimbBits = NTL_ZZ_NBITS;
static_assert(kLimbBits == 64, "NTL's limbs are the 64-bit words of the exponents");

// Limbs 0..count-1 of x >= 0 in radix 2^52.
std::vector<std::uint64_t> Limbs52(const NTL::ZZ& x, int count) {
    const NTL::ZZ_limb_t* words = NTL::ZZ_limbs_get(x);
    const long size = x.size();
    auto word = [&](long w) { return w < size ? std::uint64_t{words[w]} : 0; };
    std::vector<std::uint64_t> limbs(count);
    for (int j = 0; j < count; ++j) {
        const long bit = static_cast<long>(j) * kRadixBits;
        const int offset = static_cast<int>(bit % kLimbBits);
        std::uint64_t limb = word(bit / kLimbBits) >> offset;
        if (offset + kRadixBits > kLimbBits)
            limb |= word(bit / kLimbBits + 1) << (kLimbBits - offset);
        limbs[j] = limb & kMask;
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

// Rows a block: with eight, a partial sum is loaded and stored once for sixteen multiplications,
// and the multipliers, the limbs they meet and the sums still fit the 32 vector registers.
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
KIV_IFMA __m512i ExponentBit(const std::vector<Lane8>& exponent, int k) {
    const __m512i word = Load(exponent[k / 64]);
    return _mm512_and_si512(_mm512_srli_epi64(word, k % 64), _mm512_set1_epi64(1));
}

}  // namespace

bool LaneExponentiation::Fits(long bits) {
    // 8m < R keeps a product of a doubled square below 2m: three bits to spare.
    return (bits + 3 + kRadixBits - 1) / kRadixBits <= kMaxLimbs;
}

LaneExponentiation::LaneExponentiation(std::span<const NTL::ZZ> moduli,
                                       std::span<const NTL::ZZ> exponents)
    : m_count(static_cast<int>(moduli.size())), m_moduli(moduli.begin(), moduli.end()) {
    if (moduli.empty() || moduli.size() > kLanes || exponents.size() != moduli.size())
        throw std::invalid_argument("one to eight moduli, one exponent each");
    long bits = 0;
    long exponentBits = 1;
    for (int lane = 0; lane < m_count; ++lane) {
        if (moduli[lane] <= 1 || !NTL::IsOdd(moduli[lane]) || exponents[lane] < 0)
            throw std::invalid_argument("moduli odd and > 1, exponents >= 0");
        bits = std::max(bits, NTL::NumBits(moduli[lane]));
        exponentBits = std::max(exponentBits, NTL::NumBits(exponents[lane]));
    }
    if (!Fits(bits))
        throw std::invalid_argument("modulus too long for the lanes");
    m_limbs = static_cast<int>((bits + 3 + kRadixBits - 1) / kRadixBits);
    m_exponentBits = static_cast<int>(exponentBits);
    m_modulus.resize(m_limbs);
    m_montOne.resize(m_limbs);
    m_exponent.resize((m_exponentBits + 63) / 64, Lane8{});
    m_x.resize(m_limbs);
    m_t.resize(2 * static_cast<std::size_t>(m_limbs));
    for (int lane = 0; lane < kLanes; ++lane) {
        const int from = lane < m_count ? lane : 0;
        const NTL::ZZ& m = moduli[from];
        const std::vector<std::uint64_t> mLimbs = Limbs52(m, m_limbs);
        const std::vector<std::uint64_t> oneLimbs =
            Limbs52(NTL::power2_ZZ(static_cast<long>(m_limbs) * kRadixBits) % m, m_limbs);
        for (int j = 0; j < m_limbs; ++j) {
            m_modulus[j].v[lane] = mLimbs[j];
            m_montOne[j].v[lane] = oneLimbs[j];
        }
        m_negInverse.v[lane] = NegInverse52(mLimbs[0]);
        if (lane < m_count) {
            const NTL::ZZ& e = exponents[lane];
            for (long w = 0; w < e.size(); ++w)
                m_exponent[w].v[lane] = NTL::ZZ_limbs_get(e)[w];
        }
    }
}

// x runs from Montgomery's 1 over the exponent bits, the longest exponent's first; shorter ones
// start with zeros, which square 1. Each product stays below 2m as long as 8m < R, and one
// more reduction takes x out of Montgomery form (below m: the power is not 0 mod m).
KIV_IFMA bool LaneExponentiation::Run(const std::atomic<bool>& stop) {
    const int n = m_limbs;
    std::copy(m_montOne.begin(), m_montOne.end(), m_x.begin());
    for (int k = m_exponentBits - 1; k >= 0; --k) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        SquareShifted(m_x.data(), n, ExponentBit(m_exponent, k), m_t.data());
        Reduce(m_modulus.data(), m_negInverse, n, m_t.data());
        Normalise(m_t.data() + n, n, m_x.data());
    }
    std::fill(m_t.begin(), m_t.end(), Lane8{});
    std::copy(m_x.begin(), m_x.end(), m_t.begin());
    Reduce(m_modulus.data(), m_negInverse, n, m_t.data());
    Normalise(m_t.data() + n, n, m_x.data());
    return true;
}

NTL::ZZ LaneExponentiation::Residue(int lane) const {
    std::vector<NTL::ZZ_limb_t> words((static_cast<std::size_t>(m_limbs) * kRadixBits) / kLimbBits +
                                      1);
    for (int j = 0; j < m_limbs; ++j) {
        const std::uint64_t limb = m_x[j].v[lane];
        const long bit = static_cast<long>(j) * kRadixBits;
        const int offset = static_cast<int>(bit % kLimbBits);
        words[bit / kLimbBits] |= limb << offset;
        if (offset + kRadixBits > kLimbBits)
            words[bit / kLimbBits + 1] |= limb >> (kLimbBits - offset);
    }
    NTL::ZZ residue;
    NTL::ZZ_limbs_set(residue, words.data(), static_cast<long>(words.size()));
    const NTL::ZZ& m = m_moduli[lane];
    return residue < m ? residue : residue % m;
}
