#pragma once
// Up to eight powers of two modulo eight odd numbers at once, one per 64-bit lane of an
// AVX-512 IFMA register: the numbers are limb-sliced in radix 2^52 (vector j holds limb j of
// every lane), padded to the longest, and every exponent bit costs one Montgomery squaring
// whose doubling, when the bit is set, is a one-bit shift of the square. Run needs a processor
// with avx512f, avx512ifma and avx512vl whose operating system saves the zmm state; the rest
// of the program may run anywhere.
#include <NTL/ZZ.h>

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

// Eight 64-bit lanes, as one zmm register holds them.
struct alignas(64) Lane8 {
    std::uint64_t v[8];
};

class LaneExponentiation {
  public:
    static constexpr int kLanes = 8;
    // The limbs of a product's unnormalised sums stay within 64 bits up to about 680 limbs
    // (35,000 bits); longer moduli are not taken.
    static constexpr int kMaxLimbs = 640;

    // One to eight odd moduli > 1 and as many exponents >= 0; throws std::invalid_argument
    // otherwise.
    LaneExponentiation(std::span<const NTL::ZZ> moduli, std::span<const NTL::ZZ> exponents);

    // Whether moduli of this many bits can be taken.
    static bool Fits(long bits);

    // Computes every lane's 2^e mod m; false once `stop` was seen true, between products.
    bool Run(const std::atomic<bool>& stop);

    // 2^e mod m of the given lane, 0 <= residue < m, after a Run that answered true.
    NTL::ZZ Residue(int lane) const;

    int ExponentBits() const { return m_exponentBits; }

  private:
    int m_count;                    // lanes in use; the others repeat lane 0 with exponent 0
    int m_limbs;                    // n: every number has n limbs of 52 bits
    int m_exponentBits;             // of the longest exponent
    std::vector<Lane8> m_modulus;   // n limbs
    Lane8 m_negInverse;             // -m^-1 mod 2^52
    std::vector<Lane8> m_montOne;   // R mod m, R = 2^(52 n): Montgomery's 1
    std::vector<Lane8> m_exponent;  // 64 bits a word
    std::vector<Lane8> m_x;         // the power, n limbs
    std::vector<Lane8> m_t;         // a product, 2n limbs
    std::vector<NTL::ZZ> m_moduli;  // as given
};
