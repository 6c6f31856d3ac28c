// The hive's text format.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/registry/registry_tree.h"

namespace {

using comrt::registry_detail::parse_hive;
using comrt::registry_detail::serialize_hive;

TEST(RegistryText, ParserRejectsMalformedHivesWithoutCrashing) {
    const char* bad[] = {
        "@=\"value before any key\"\n",
        "[Unclosed\n",
        "[Trailing\\]\n",
        "[Double\\\\Sep]\n",
        "[Bad%zzEscape]\n",
        "[K]\n\"unterminated=\"x\"\n",
        "[K]\n@=\"unterminated\n",
        "[K]\n@=\"bad escape \\q\"\n",
        "[K]\n@=\"short \\x4\"\n",
        "[K]\n@=hex(1):0\n",
        "[K]\n@=hex(1):00,\n",
        "[K]\n@=hex():00\n",
        "[K]\n@=\"x\" trailing\n",
        "[K]\n@\n",
        "[K]\nname=\"unquoted name\"\n",
    };
    for (const char* text : bad)
        EXPECT_FALSE(parse_hive(text).has_value()) << text;

    const char* good[] = {"", "; only a comment\n", "[]\n@=\"root\"\n", "[A]\r\n@=\"crlf\"\r\n",
                          "[A\\B]\n\"n\"=hex(0):\n"};
    for (const char* text : good)
        EXPECT_TRUE(parse_hive(text).has_value()) << text;

    // Random mutations of a valid hive: parse or refuse, never crash.
    comrt::registry_detail::reg_node root;
    root.create({"Software", "Classes", "CLSID", "{X}"}).values[""] = {1, "Prime \"Class\"\n"};
    root.create({"A%B"}).values["n"] = {0, std::string("\0\x01", 2)};
    const std::string valid = serialize_hive(root);
    ASSERT_EQ(parse_hive(valid), root);
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string text = valid;
        for (int k = 0; k < 4; ++k)
            text[random() % text.size()] = static_cast<char>(random() % 256);
        text.resize(random() % (text.size() + 1));
        auto parsed = parse_hive(text);
        if (parsed) {
            EXPECT_EQ(parse_hive(serialize_hive(*parsed)), parsed);
        }
    }
}

}  // namespace
