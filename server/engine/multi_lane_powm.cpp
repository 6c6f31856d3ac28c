#include "server/engine/multi_lane_powm.h"

#include <cpuid.h>

#include <algorithm>
#include <cstdint>

#include "server/engine/lane_exponentiation.h"
#include "server/engine/power_mod_stoppable.h"

namespace {

std::atomic<bool> g_forceGmp{false};

std::uint64_t ReadXcr0() {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    // xgetbv, spelt as bytes so that no function needs the xsave target.
    __asm__(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
    return (std::uint64_t{high} << 32) | low;
}

bool DetectLanes() {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (ecx & bit_OSXSAVE) == 0)
        return false;
    constexpr std::uint64_t kZmmState = 0xe6;  // SSE, AVX, opmask, ZMM_Hi256, Hi16_ZMM
    if ((ReadXcr0() & kZmmState) != kZmmState)
        return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    constexpr unsigned kAvx512f = 1u << 16;
    constexpr unsigned kAvx512ifma = 1u << 21;
    constexpr unsigned kAvx512vl = 1u << 31;
    constexpr unsigned kNeeded = kAvx512f | kAvx512ifma | kAvx512vl;
    return (ebx & kNeeded) == kNeeded;
}

// 2^e_i mod m_i, in the lanes when they are in use and every modulus fits them.
bool PowersOfTwo(std::span<const NTL::ZZ> moduli, std::span<const NTL::ZZ> exponents,
                 std::vector<NTL::ZZ>& residues, const std::atomic<bool>& stop) {
    residues.resize(moduli.size());
    const bool fit = std::all_of(moduli.begin(), moduli.end(), [](const NTL::ZZ& m) {
        return LaneExponentiation::Fits(NTL::NumBits(m));
    });
    if (fit && LanesInUse()) {
        LaneExponentiation lanes(moduli, exponents);
        if (!lanes.Run(stop))
            return false;
        for (std::size_t i = 0; i < moduli.size(); ++i)
            residues[i] = lanes.Residue(static_cast<int>(i));
        return true;
    }
    const NTL::ZZ two(2);
    for (std::size_t i = 0; i < moduli.size(); ++i)
        if (!PowerModStoppable(residues[i], two, exponents[i], moduli[i], stop))
            return false;
    return true;
}

}  // namespace

bool LanesSupported() {
    static const bool supported = DetectLanes();
    return supported;
}

bool LanesInUse() {
    return LanesSupported() && !g_forceGmp.load();
}

bool LanesTake(long bits) {
    return LanesInUse() && LaneExponentiation::Fits(bits);
}

void ForceGmpPowm(bool force) {
    g_forceGmp.store(force);
}

bool PowersOfTwoModuli(std::span<const NTL::ZZ> moduli, std::vector<NTL::ZZ>& residues,
                       const std::atomic<bool>& stop) {
    std::vector<NTL::ZZ> exponents(moduli.begin(), moduli.end());
    for (NTL::ZZ& e : exponents)
        e -= 1;
    return PowersOfTwo(moduli, exponents, residues, stop);
}

// n - 1 = 2^k d with d odd: n passes when 2^d is 1, or one of 2^d, 2^2d, ..., 2^(2^(k-1) d)
// is n - 1. The lanes give 2^d; the few squarings after it are one lane's each.
bool StrongProbablePrimesBase2(std::span<const NTL::ZZ> n, std::vector<bool>& verdicts,
                               const std::atomic<bool>& stop) {
    std::vector<NTL::ZZ> odd(n.begin(), n.end());
    std::vector<long> twos(n.size());
    for (std::size_t i = 0; i < n.size(); ++i) {
        odd[i] -= 1;
        twos[i] = NTL::MakeOdd(odd[i]);
    }
    std::vector<NTL::ZZ> z;
    if (!PowersOfTwo(n, odd, z, stop))
        return false;
    verdicts.assign(n.size(), false);
    for (std::size_t i = 0; i < n.size(); ++i) {
        const NTL::ZZ minusOne = n[i] - 1;
        bool pass = z[i] == 1 || z[i] == minusOne;
        for (long j = 1; j < twos[i] && !pass && z[i] != 1; ++j) {
            if (stop.load(std::memory_order_relaxed))
                return false;
            NTL::SqrMod(z[i], z[i], n[i]);
            pass = z[i] == minusOne;
        }
        verdicts[i] = pass;
    }
    return true;
}
