#pragma once
// DecimalInput: a number received as decimal text (narrowed from its argument by the method,
// one byte per code unit), checked character by character and converted to a ZZ.
#include <NTL/ZZ.h>

#include <cstdint>
#include <stop_token>
#include <string>

struct DecimalInput {
    std::string text;  // L bytes, then the zero byte that c_str() shows
    NTL::ZZ value;
};

// Natural-number rule: digits only, value at least 2. Raises ServiceError with the
// natural-number message; an empty text fails in NTL's conversion. The conversion reads
// `stop` between its steps (CallCancelled).
DecimalInput ParseNaturalNumber(std::string text, const std::stop_token& stop = {});
// Even-number rule: digits only, even, value at least 4; writes its three trace lines.
DecimalInput ParseEvenNumber(std::string text, const std::stop_token& stop = {});
// The text's value as a signed 64-bit integer; only for values up to 9223372036854775807.
std::int64_t ToInt64(const DecimalInput& input);
