#include "server/engine/decimal_input.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "server/interface/messages.h"
#include "server/interface/narrow_text.h"
#include "server/interface/ntl_errors.h"
#include "server/interface/service_error.h"

namespace {

using namespace std::chrono_literals;

// Outcome of a parse: the value's decimal text, or the failure's text.
struct Outcome {
    bool ok;
    std::string text;
};

template <class Parse>
Outcome ParseOutcome(Parse parse, std::u16string_view input) {
    UseNtlExceptions();
    _bstr_t bstr(input);
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
    std::u16string input;
    bool ok;
    std::string text;  // value when ok, else the failure text
};

const std::string kThousands = "1" + std::string(4000, '0');

TEST(DecimalInput, NaturalNumberRule) {
    const std::string& bad = kivmsg::NaturalNumber;
    const Case cases[] = {
        {u"0", false, bad},
        {u"00", false, bad},
        {u"1", false, bad},
        {u"0001", false, bad},
        {u"2", true, "2"},
        {u"02", true, "2"},
        {u"0007", true, "7"},
        {u"13", true, "13"},
        {u"+7", false, bad},
        {u"-7", false, bad},
        {u" 7", false, bad},
        {u"7 ", false, bad},
        {u"7.0", false, bad},
        {u"1a4", false, bad},
        {u"x4", false, bad},
        {u"\uFF17", false, bad},
        {u"\u00B9", false, bad},
        {std::u16string(u"7\0"
                        u"1",
                        3),
         false, bad},
        {u"", false, "bad conversion from char*"},
        {std::u16string(kThousands.begin(), kThousands.end()), true, kThousands},
    };
    for (const Case& c : cases) {
        Outcome got = ParseOutcome(ParseNaturalNumber, c.input);
        EXPECT_EQ(got.ok, c.ok) << comrt::utf16_to_ansi(c.input);
        EXPECT_EQ(got.text, c.text) << comrt::utf16_to_ansi(c.input);
    }
}

TEST(DecimalInput, EvenNumberRule) {
    const std::string& bad = kivmsg::EvenNumber;
    const Case cases[] = {
        {u"4", true, "4"},
        {u"004", true, "4"},
        {u"0004", true, "4"},
        {u"10", true, "10"},
        {u"2", false, bad},
        {u"02", false, bad},
        {u"0", false, bad},
        {u"00", false, bad},
        {u"13", false, bad},
        {u"1a4", false, bad},
        {u"x4", false, bad},
        {u"4 ", false, bad},
        {u"-4", false, bad},
        {u"", false, "bad conversion from char*"},
        {std::u16string(kThousands.begin(), kThousands.end()), true, kThousands},
    };
    for (const Case& c : cases) {
        Outcome got = ParseOutcome(ParseEvenNumber, c.input);
        EXPECT_EQ(got.ok, c.ok) << comrt::utf16_to_ansi(c.input);
        EXPECT_EQ(got.text, c.text) << comrt::utf16_to_ansi(c.input);
    }
}

TEST(DecimalInput, ToInt64ReadsLeadingZeros) {
    _bstr_t text(u"0007");
    EXPECT_EQ(ToInt64(ParseNaturalNumber(NarrowText(text.GetBSTR()))), 7);
    _bstr_t limit(u"9223372036854775807");
    EXPECT_EQ(ToInt64(ParseNaturalNumber(NarrowText(limit.GetBSTR()))), INT64_MAX);
}

std::vector<std::string> TraceOf(std::u16string_view input) {
    comrt::DebugOutputListener listener;
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
    EXPECT_EQ(TraceOf(u"100"), (Lines{copied, begin, end}));
    EXPECT_EQ(TraceOf(u"2"), (Lines{copied, begin, end})) << "value check comes after conversion";
    EXPECT_EQ(TraceOf(u"13"), (Lines{copied}));
    EXPECT_EQ(TraceOf(u"x4"), (Lines{copied}));
    EXPECT_EQ(TraceOf(u""), (Lines{copied, begin})) << "conversion fails before its end line";
}

}  // namespace
