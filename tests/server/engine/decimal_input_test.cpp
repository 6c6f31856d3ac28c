#include "server/engine/decimal_input.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "server/interface/messages.h"
#include "server/interface/narrow_text.h"
#include "server/interface/ntl_errors.h"
#include "server/interface/service_error.h"
#include "tests/support/debug_listener.h"
#include "tests/support/wide_text.h"

namespace {

using namespace std::chrono_literals;

// Outcome of a parse: the value's decimal text, or the failure's text.
struct Outcome {
    bool ok;
    std::string text;
};

template <class Parse>
Outcome ParseOutcome(Parse parse, std::basic_string_view<OLECHAR> input) {
    UseNtlExceptions();
    _bstr_t bstr(SysAllocStringLen(input.data(), static_cast<UINT>(input.size())), false);
    try {
        DecimalInput parsed = parse(NarrowText(bstr.GetBSTR()), {});
        std::ostringstream out;
        out << parsed.value;
        return {true, out.str()};
    } catch (const ServiceError& e) {
        return {false, e.Message()};
    } catch (const std::exception& e) {
        return {false, e.what()};
    }
}

struct Case {
    std::basic_string<OLECHAR> input;
    bool ok;
    std::string text;  // value when ok, else the failure text
};

const std::string kThousands = "1" + std::string(4000, '0');

TEST(DecimalInput, NaturalNumberRule) {
    const std::string& bad = kivmsg::NaturalNumber;
    const Case cases[] = {
        {OLESTR("0"), false, bad},
        {OLESTR("00"), false, bad},
        {OLESTR("1"), false, bad},
        {OLESTR("0001"), false, bad},
        {OLESTR("2"), true, "2"},
        {OLESTR("02"), true, "2"},
        {OLESTR("0007"), true, "7"},
        {OLESTR("13"), true, "13"},
        {OLESTR("+7"), false, bad},
        {OLESTR("-7"), false, bad},
        {OLESTR(" 7"), false, bad},
        {OLESTR("7 "), false, bad},
        {OLESTR("7.0"), false, bad},
        {OLESTR("1a4"), false, bad},
        {OLESTR("x4"), false, bad},
#ifdef _WIN32
        // Windows' ANSI conversion maps the fullwidth digit to its best fit, '7'.
        {OLESTR("\uFF17"), true, "7"},
#else
        {OLESTR("\uFF17"), false, bad},
#endif
        {OLESTR("\u00B9"), false, bad},
        {std::basic_string<OLECHAR>(OLESTR("7\0") OLESTR("1"), 3), false, bad},
        {OLESTR(""), false, "bad conversion from char*"},
        {std::basic_string<OLECHAR>(kThousands.begin(), kThousands.end()), true, kThousands},
    };
    for (const Case& c : cases) {
        Outcome got = ParseOutcome(ParseNaturalNumber, c.input);
        EXPECT_EQ(got.ok, c.ok) << kivtest::Ansi(c.input);
        EXPECT_EQ(got.text, c.text) << kivtest::Ansi(c.input);
    }
}

TEST(DecimalInput, EvenNumberRule) {
    const std::string& bad = kivmsg::EvenNumber;
    const Case cases[] = {
        {OLESTR("4"), true, "4"},
        {OLESTR("004"), true, "4"},
        {OLESTR("0004"), true, "4"},
        {OLESTR("10"), true, "10"},
        {OLESTR("2"), false, bad},
        {OLESTR("02"), false, bad},
        {OLESTR("0"), false, bad},
        {OLESTR("00"), false, bad},
        {OLESTR("13"), false, bad},
        {OLESTR("1a4"), false, bad},
        {OLESTR("x4"), false, bad},
        {OLESTR("4 "), false, bad},
        {OLESTR("-4"), false, bad},
        {OLESTR(""), false, "bad conversion from char*"},
        {std::basic_string<OLECHAR>(kThousands.begin(), kThousands.end()), true, kThousands},
    };
    for (const Case& c : cases) {
        Outcome got = ParseOutcome(ParseEvenNumber, c.input);
        EXPECT_EQ(got.ok, c.ok) << kivtest::Ansi(c.input);
        EXPECT_EQ(got.text, c.text) << kivtest::Ansi(c.input);
    }
}

TEST(DecimalInput, ToInt64ReadsLeadingZeros) {
    _bstr_t text(OLESTR("0007"));
    EXPECT_EQ(ToInt64(ParseNaturalNumber(NarrowText(text.GetBSTR()))), 7);
    _bstr_t limit(OLESTR("9223372036854775807"));
    EXPECT_EQ(ToInt64(ParseNaturalNumber(NarrowText(limit.GetBSTR()))), INT64_MAX);
}

std::vector<std::string> TraceOf(std::basic_string_view<OLECHAR> input) {
    kivtest::DebugListener listener;
    ParseOutcome(ParseEvenNumber, input);
    std::vector<std::string> lines;
    while (auto line = listener.receive(50ms))
        lines.push_back(*line);
    return lines;
}

TEST(DecimalInput, EvenNumberTraceLinesInOrder) {
    const std::string copied = "kiv: Copied bstrEvenNum...\n";
    const std::string begin = "kiv: begin NTL::to_ZZ()...\n";
    const std::string end = "kiv: end NTL::to_ZZ()...\n";
    using Lines = std::vector<std::string>;
    EXPECT_EQ(TraceOf(OLESTR("100")), (Lines{copied, begin, end}));
    EXPECT_EQ(TraceOf(OLESTR("2")), (Lines{copied, begin, end}))
        << "value check comes after conversion";
    EXPECT_EQ(TraceOf(OLESTR("13")), (Lines{copied}));
    EXPECT_EQ(TraceOf(OLESTR("x4")), (Lines{copied}));
    EXPECT_EQ(TraceOf(OLESTR("")), (Lines{copied, begin}))
        << "conversion fails before its end line";
}

}  // namespace
