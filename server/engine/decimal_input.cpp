#include "server/engine/decimal_input.h"

#include <cstdlib>
#include <utility>

#include "server/engine/decimal_value.h"
#include "server/interface/messages.h"
#include "server/interface/service_error.h"
#include "server/interface/trace_log.h"

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool all_digits(const std::string& text) {
    for (char c : text)
        if (!is_digit(c))
            return false;
    return true;
}

// NTL's conversion keeps its own failure for an empty text; digits go through GMP.
NTL::ZZ ValueOf(const std::string& text, const std::stop_token& stop) {
    if (text.empty())
        return NTL::conv<NTL::ZZ>(text.c_str());
    return DecimalValue(text, stop);
}

}  // namespace

DecimalInput ParseNaturalNumber(std::string text, const std::stop_token& stop) {
    DecimalInput input{std::move(text), {}};
    if (input.text == "0" || !all_digits(input.text))
        throw ServiceError(kivmsg::NaturalNumber);
    input.value = ValueOf(input.text, stop);
    if (input.value < 2)
        throw ServiceError(kivmsg::NaturalNumber);
    return input;
}

DecimalInput ParseEvenNumber(std::string text, const std::stop_token& stop) {
    DecimalInput input{std::move(text), {}};
    TraceLog("kiv: Copied bstrEvenNum...\n");
    const std::string& digits = input.text;
    if (digits == "0")
        throw ServiceError(kivmsg::EvenNumber);
    if (!digits.empty() && (!is_digit(digits.back()) || (digits.back() - '0') % 2 != 0))
        throw ServiceError(kivmsg::EvenNumber);
    if (!all_digits(digits))
        throw ServiceError(kivmsg::EvenNumber);
    TraceLog("kiv: begin NTL::to_ZZ()...\n");
    input.value = ValueOf(digits, stop);
    TraceLog("kiv: end NTL::to_ZZ()...\n");
    if (input.value < 4)
        throw ServiceError(kivmsg::EvenNumber);
    return input;
}

std::int64_t ToInt64(const DecimalInput& input) {
    return std::strtoll(input.text.c_str(), nullptr, 10);
}
