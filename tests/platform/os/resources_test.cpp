#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/os/resource_reader.h"
#include "platform/os/version_block.h"
#include "tests/support/elf_builder.h"
#include "tests/support/isolated_env.h"
#include "tests/support/process.h"

namespace {

std::vector<unsigned char> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string WriteFile(const std::string& name, const std::vector<unsigned char>& bytes) {
    std::string path = kivtest::isolated_root() + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

using kivtest::SelfPath;

// The test program carries these two through comrt_embed_resource (tests/CMakeLists.txt).
TEST(Resources, ReadsSectionsEmbeddedInThisProgram) {
    auto sample = comrt::read_resource(SelfPath(), ".comrt.test.1");
    ASSERT_TRUE(sample.has_value());
    EXPECT_EQ(*sample, Bytes("comrt resource sample\n"));

    auto version = comrt::read_version_block(SelfPath());
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->at("FileVersion"), "5.0.0.1");
    EXPECT_EQ(version->at("ProductVersion"), "5.0.0.1");
    EXPECT_EQ(version->at("InternalName"), "kiv.exe");
    EXPECT_EQ(version->at("OriginalFilename"), "kiv.exe");

    EXPECT_FALSE(comrt::read_resource(SelfPath(), ".comrt.none").has_value());
    EXPECT_FALSE(comrt::read_resource(SelfPath(), ".comrt.test").has_value());  // no prefix match
    EXPECT_TRUE(comrt::is_elf_file(SelfPath()));
}

TEST(Resources, RefusesWhatIsNotAnElfFile) {
    EXPECT_FALSE(comrt::read_resource(kivtest::isolated_root() + "/missing", ".comrt.test.1"));
    EXPECT_FALSE(comrt::read_resource(kivtest::isolated_root(), ".comrt.test.1"));  // a directory
    std::string text =
        WriteFile("plain.txt", Bytes("just some text, long enough to pass the header size "
                                     "check of an ELF file, but no ELF at all ........."));
    EXPECT_FALSE(comrt::read_resource(text, ".comrt.test.1"));
    EXPECT_FALSE(comrt::is_elf_file(text));
    EXPECT_FALSE(comrt::read_resource(WriteFile("empty", {}), ".comrt.test.1"));
}

TEST(Resources, FindsEachSectionOfABuiltImage) {
    auto image = elftest::BuildElf({{".comrt.registry.101", Bytes("HKCR { }")},
                                    {".comrt.empty", {}},
                                    {".comrt.registry.102", Bytes("second")}});
    std::string path = WriteFile("built.elf", image);
    EXPECT_EQ(comrt::read_resource(path, ".comrt.registry.101"), Bytes("HKCR { }"));
    EXPECT_EQ(comrt::read_resource(path, ".comrt.registry.102"), Bytes("second"));
    EXPECT_EQ(comrt::read_resource(path, ".comrt.empty"), std::vector<unsigned char>{});
    EXPECT_FALSE(comrt::read_resource(path, ".comrt.registry.103"));
}

// Every truncation and every single-byte change of a valid image is read without a crash
// (ASan and UBSan builds watch the reads); a truncation never yields the original bytes.
TEST(Resources, SurvivesTruncatedAndDamagedImages) {
    const auto payload = Bytes("resource payload");
    const auto image = elftest::BuildElf({{".comrt.typelib.1", payload}});
    const std::string path = kivtest::isolated_root() + "/damaged.elf";
    for (std::size_t size = 0; size < image.size(); ++size) {
        WriteFile("damaged.elf", {image.begin(), image.begin() + static_cast<long>(size)});
        auto got = comrt::read_resource(path, ".comrt.typelib.1");
        EXPECT_FALSE(got.has_value()) << "truncated at " << size;
    }
    for (std::size_t at = 0; at < image.size(); ++at) {
        for (unsigned char flip : {0x01, 0x80, 0xFF}) {
            auto damaged = image;
            damaged[at] ^= flip;
            WriteFile("damaged.elf", damaged);
            (void)comrt::read_resource(path, ".comrt.typelib.1");
        }
    }
}

TEST(VersionBlock, ParsesNameValueLines) {
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"FileVersion=5.0.0.1\nInternalName=kiv.exe\n", true},
        {"FileVersion=5.0.0.1", true},  // the last line feed may be missing
        {"", true},
        {"A=\n", true},
        {"=5\n", false},
        {"NoEquals\n", false},
        {"Bad Name=1\n", false},
        {"A=1\nA=2\n", false},
        {"A=tab\there\n", false},
        {"A=1\n\n", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(comrt::parse_version_block(c.text).has_value(), c.valid) << c.text;
    auto block = comrt::parse_version_block("ProductVersion=5.0.0.1\nOriginalFilename=kiv.exe");
    ASSERT_TRUE(block);
    EXPECT_EQ(block->at("OriginalFilename"), "kiv.exe");
}

}  // namespace
