#pragma once
// NTL integers from test literals: 64-bit values go through their decimal text, so the
// conversion holds on Win64 too, where NTL's `long` conversions keep only 32 bits.
#include <NTL/ZZ.h>

#include <cstdint>
#include <string>

namespace kivtest {

inline NTL::ZZ ZZOf(const char* text) {
    return NTL::conv<NTL::ZZ>(text);
}

inline NTL::ZZ ZZOf(std::uint64_t value) {
    return ZZOf(std::to_string(value).c_str());
}

}  // namespace kivtest
