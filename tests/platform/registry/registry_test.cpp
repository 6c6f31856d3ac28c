#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry/registry_tree.h"
#include "tests/platform/registry/hive_fixture.h"
#include "tests/support/isolated_env.h"

namespace {

namespace fs = std::filesystem;
using comrt::registry_detail::parse_hive;
using comrt::registry_detail::serialize_hive;
using kivtest::read_text;

constexpr LSTATUS kOk = kivtest::kRegOk;
constexpr LSTATUS st(DWORD code) {
    return kivtest::reg_status(code);
}

class Registry : public kivtest::EmptyHives {};

std::vector<std::string> subkeys_of(HKEY root, const char* path) {
    CRegKey key;
    std::vector<std::string> names;
    if (key.Open(root, path, KEY_READ) != kOk)
        return names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD cch = sizeof name;
        if (RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != kOk)
            break;
        names.emplace_back(name, cch);
    }
    return names;
}

TEST_F(Registry, HivesLiveWhereTheEnvironmentSays) {
    const std::string root = kivtest::isolated_root();
    EXPECT_EQ(comrt::machine_hive_path(), root + "/machine/system.reg");
    EXPECT_EQ(comrt::user_hive_path(), root + "/data/comrt/user.reg");

    ASSERT_EQ(comrt::reg_set_string(HKEY_LOCAL_MACHINE, "Software\\Probe", "", "machine"), kOk);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\Probe", "", "user"), kOk);
    EXPECT_NE(read_text(root + "/machine/system.reg").find("machine"), std::string::npos);
    EXPECT_NE(read_text(root + "/data/comrt/user.reg").find("user"), std::string::npos);

    // A relocated machine hive is a different, empty hive, made on the first write.
    const std::string saved = getenv("COMRT_MACHINE_DIR");
    const std::string moved = root + "/machine-moved/deeper";
    setenv("COMRT_MACHINE_DIR", moved.c_str(), 1);
    EXPECT_EQ(comrt::machine_hive_path(), moved + "/system.reg");
    EXPECT_FALSE(comrt::reg_key_exists(HKEY_LOCAL_MACHINE, "Software\\Probe"));
    EXPECT_FALSE(fs::exists(moved)) << "reading never creates a hive";
    EXPECT_EQ(comrt::reg_set_string(HKEY_LOCAL_MACHINE, "Software\\Other", "", "x"), kOk);
    EXPECT_TRUE(fs::exists(moved + "/system.reg"));
    setenv("COMRT_MACHINE_DIR", saved.c_str(), 1);
    EXPECT_EQ(comrt::reg_get_string(HKEY_LOCAL_MACHINE, "Software\\Probe"), "machine");
    EXPECT_FALSE(comrt::reg_key_exists(HKEY_LOCAL_MACHINE, "Software\\Other"));
}

TEST_F(Registry, MissingHiveReadsAsEmpty) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT}) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(root, "Software", 0, KEY_READ, &key), st(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(key, nullptr);
        char name[16];
        DWORD cch = sizeof name;
        EXPECT_EQ(RegEnumKeyExA(root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
                  st(ERROR_NO_MORE_ITEMS));
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExA(root, "x", nullptr, nullptr, nullptr, &size),
                  st(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_FALSE(fs::exists(comrt::machine_hive_path()));
    EXPECT_FALSE(fs::exists(comrt::user_hive_path()));
}

TEST_F(Registry, ValuesSurviveTheFileWhateverTheirBytes) {
    const struct {
        const char* name;
        std::string value;
    } cases[] = {
        {"", "plain default"},
        {"Quoted \"name\"", "a \"quoted\" value"},
        {"back\\slash", "C:\\path\\to\\file"},
        {"newline", "line one\nline two\r\n\ttabbed"},
        {"percent %41", "100% %MODULE%"},
        {"utf8 \xC3\xA9", "\xE2\x82\xAC and \x01\x1F\x7F controls"},
        {"empty", ""},
        {"=", "[not a key]"},
        {"@", "@=\"x\""},
    };
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "Software\\Odd [Key] 100%\\x"), kOk);
    for (const auto& c : cases)
        ASSERT_EQ(key.SetStringValue(c.name, c.value.c_str()), kOk);
    auto parsed = parse_hive(read_text(comrt::user_hive_path()));
    ASSERT_TRUE(parsed.has_value()) << read_text(comrt::user_hive_path());
    const auto* node = parsed->find({"Software", "Odd [Key] 100%", "x"});
    ASSERT_NE(node, nullptr);
    for (const auto& c : cases) {
        auto it = node->values.find(c.name);
        ASSERT_NE(it, node->values.end()) << c.name;
        EXPECT_EQ(it->second.data, c.value) << c.name;
        EXPECT_EQ(comrt::reg_get_string(HKEY_CURRENT_USER, "Software\\Odd [Key] 100%\\x", c.name),
                  c.value);
    }
    EXPECT_EQ(serialize_hive(*parsed), read_text(comrt::user_hive_path()));
}

TEST_F(Registry, NamesAreCaseInsensitiveAndKeepTheirCase) {
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\MixedCase", "ValueName", "1"),
              kOk);
    const struct {
        const char* path;
        const char* name;
    } spellings[] = {{"software\\mixedcase", "valuename"},
                     {"SOFTWARE\\MIXEDCASE", "VALUENAME"},
                     {"SoFtWaRe\\mIxEdCaSe", "vAlUeNaMe"}};
    for (const auto& s : spellings)
        EXPECT_EQ(comrt::reg_get_string(HKEY_CURRENT_USER, s.path, s.name), "1") << s.path;
    // Writing through another spelling changes the same key and value.
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "SOFTWARE\\mixedCASE", "VALUENAME", "2"),
              kOk);
    EXPECT_EQ(subkeys_of(HKEY_CURRENT_USER, "software"), std::vector<std::string>{"MixedCase"});
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "Software\\MixedCase"), kOk);
    char name[64];
    DWORD cch = sizeof name;
    BYTE data[8];
    DWORD size = sizeof data;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &cch, nullptr, nullptr, data, &size), kOk);
    EXPECT_EQ(std::string(name, cch), "ValueName");
    EXPECT_STREQ(reinterpret_cast<char*>(data), "2");
    EXPECT_EQ(RegEnumValueA(key, 1, name, &cch, nullptr, nullptr, nullptr, nullptr),
              st(ERROR_NO_MORE_ITEMS));
}

TEST_F(Registry, ClassesRootMergesUserOverMachine) {
    auto machine = [](const char* path, const char* name, const char* value) {
        return comrt::reg_set_string(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + path,
                                     name, value);
    };
    auto user = [](const char* path, const char* name, const char* value) {
        return comrt::reg_set_string(HKEY_CURRENT_USER, std::string("Software\\Classes\\") + path,
                                     name, value);
    };
    ASSERT_EQ(machine("Both", "", "machine default"), kOk);
    ASSERT_EQ(machine("Both", "OnlyMachine", "m"), kOk);
    ASSERT_EQ(user("BOTH", "", "user default"), kOk);
    ASSERT_EQ(user("Both", "OnlyUser", "u"), kOk);
    ASSERT_EQ(machine("MachineOnly", "", "m"), kOk);
    ASSERT_EQ(user("UserOnly", "", "u"), kOk);

    const struct {
        const char* path;
        const char* name;
        std::optional<std::string> seen;
    } reads[] = {
        {"Both", "", "user default"}, {"Both", "OnlyMachine", "m"}, {"both", "onlyuser", "u"},
        {"MachineOnly", "", "m"},     {"UserOnly", "", "u"},        {"Neither", "", std::nullopt},
    };
    for (const auto& r : reads)
        EXPECT_EQ(comrt::reg_get_string(HKEY_CLASSES_ROOT, r.path, r.name), r.seen)
            << r.path << " " << r.name;
    EXPECT_EQ(subkeys_of(HKEY_CLASSES_ROOT, ""),
              (std::vector<std::string>{"BOTH", "MachineOnly", "UserOnly"}));

    // Changes through HKCR go to the machine hive only.
    ASSERT_EQ(comrt::reg_set_string(HKEY_CLASSES_ROOT, "NewKey", "", "via hkcr"), kOk);
    EXPECT_EQ(comrt::reg_get_string(HKEY_LOCAL_MACHINE, "Software\\Classes\\NewKey"), "via hkcr");
    EXPECT_FALSE(comrt::reg_key_exists(HKEY_CURRENT_USER, "Software\\Classes\\NewKey"));
    EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "Both"), kOk);
    EXPECT_EQ(comrt::reg_get_string(HKEY_CLASSES_ROOT, "Both"), "user default");
    EXPECT_EQ(comrt::reg_get_string(HKEY_CLASSES_ROOT, "Both", "OnlyMachine"), std::nullopt);
}

TEST_F(Registry, QueryFollowsTheMoreDataProtocol) {
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "K", "v", "hello"), kOk);  // 6 bytes
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "K"), kOk);
    const struct {
        bool with_buffer;
        DWORD capacity;
        LSTATUS status;
        DWORD size_after;
    } cases[] = {
        {false, 0, kOk, 6},
        {false, 100, kOk, 6},
        {true, 0, st(ERROR_MORE_DATA), 6},
        {true, 5, st(ERROR_MORE_DATA), 6},
        {true, 6, kOk, 6},
        {true, 64, kOk, 6},
    };
    for (const auto& c : cases) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        DWORD size = c.capacity, type = 99;
        LSTATUS status =
            RegQueryValueExA(key, "v", nullptr, &type,
                             c.with_buffer ? reinterpret_cast<LPBYTE>(buffer) : nullptr, &size);
        EXPECT_EQ(status, c.status) << c.capacity;
        EXPECT_EQ(size, c.size_after) << c.capacity;
        EXPECT_EQ(type, REG_SZ);
        if (status == kOk && c.with_buffer) {
            EXPECT_STREQ(buffer, "hello");
        }
        if (status != kOk) {
            EXPECT_EQ(buffer[0], 'x') << "nothing written on failure";
        }
    }
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, nullptr), kOk);
    BYTE buf[8];
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, buf, nullptr),
              st(ERROR_INVALID_PARAMETER));

    char name[3];
    DWORD cch = sizeof name;  // "v" fits, the default value is absent
    EXPECT_EQ(RegEnumValueA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), kOk);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "K\\LongName", "", ""), kOk);
    cch = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              st(ERROR_MORE_DATA));
    ULONG chars = 3;
    char small[3];
    EXPECT_EQ(key.QueryStringValue("v", small, &chars), st(ERROR_MORE_DATA));
    EXPECT_EQ(chars, 6u);
}

TEST_F(Registry, DeletingKeys) {
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Tree\\Branch\\Leaf", "", "1"), kOk);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Tree", "v", "2"), kOk);
    const struct {
        LSTATUS (*op)(HKEY, LPCSTR);
        const char* subkey;
        LSTATUS status;
        bool tree_left, branch_left;
    } steps[] = {
        {RegDeleteKeyA, "Tree", st(ERROR_ACCESS_DENIED), true, true},
        {RegDeleteKeyA, "Tree\\Branch", st(ERROR_ACCESS_DENIED), true, true},
        {RegDeleteKeyA, "Tree\\Missing", st(ERROR_FILE_NOT_FOUND), true, true},
        {RegDeleteTreeA, "Tree\\Missing", st(ERROR_FILE_NOT_FOUND), true, true},
        {RegDeleteKeyA, "tree\\branch\\leaf", kOk, true, true},
        {RegDeleteKeyA, "Tree\\Branch", kOk, true, false},
        {RegDeleteTreeA, "Tree", kOk, false, false},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(s.op(HKEY_CURRENT_USER, s.subkey), s.status) << s.subkey;
        EXPECT_EQ(comrt::reg_key_exists(HKEY_CURRENT_USER, "Tree"), s.tree_left) << s.subkey;
        EXPECT_EQ(comrt::reg_key_exists(HKEY_CURRENT_USER, "Tree\\Branch"), s.branch_left);
    }
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), st(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), st(ERROR_ACCESS_DENIED)) << "a root stays";

    // RegDeleteTreeA with no subkey empties the key and keeps it.
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Full\\Child", "", "1"), kOk);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Full", "v", "1"), kOk);
    CRegKey full;
    ASSERT_EQ(full.Open(HKEY_CURRENT_USER, "Full"), kOk);
    EXPECT_EQ(RegDeleteTreeA(full, nullptr), kOk);
    EXPECT_TRUE(comrt::reg_key_exists(HKEY_CURRENT_USER, "Full"));
    EXPECT_FALSE(comrt::reg_key_exists(HKEY_CURRENT_USER, "Full\\Child"));
    EXPECT_EQ(comrt::reg_get_string(HKEY_CURRENT_USER, "Full", "v"), std::nullopt);
    // Values: delete once, then it is gone.
    ASSERT_EQ(full.SetStringValue("x", "1"), kOk);
    EXPECT_EQ(full.DeleteValue("X"), kOk);
    EXPECT_EQ(full.DeleteValue("x"), st(ERROR_FILE_NOT_FOUND));
}

TEST_F(Registry, HandlesOfDeletedKeysAndBadArguments) {
    CRegKey key;
    DWORD disposition = 0;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "Gone\\Soon", nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, &disposition),
              kOk);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    CRegKey again;
    ASSERT_EQ(again.Create(HKEY_CURRENT_USER, "gone\\soon", nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &disposition),
              kOk);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Gone"), kOk);
    EXPECT_EQ(key.SetStringValue("v", "x"), st(ERROR_KEY_DELETED));
    EXPECT_FALSE(comrt::reg_key_exists(HKEY_CURRENT_USER, "Gone")) << "not brought back";
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), st(ERROR_KEY_DELETED));
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              st(ERROR_KEY_DELETED));

    const std::string bad_paths[] = {"\\Leading", "Double\\\\Sep", "Trailing\\",
                                     std::string(256, 'n')};
    for (const std::string& path : bad_paths) {
        const char* bad = path.c_str();
        HKEY h = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, bad, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &h, nullptr),
                  st(ERROR_BAD_PATHNAME))
            << bad;
    }
    int not_a_key = 0;
    HKEY bogus = reinterpret_cast<HKEY>(&not_a_key);
    EXPECT_EQ(RegCloseKey(bogus), st(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegSetValueExA(bogus, "v", 0, REG_SZ, nullptr, 0), st(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), kOk);
    HKEY closed = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &closed), kOk);
    EXPECT_EQ(RegCloseKey(closed), kOk);
    EXPECT_EQ(RegCloseKey(closed), st(ERROR_INVALID_HANDLE)) << "closed twice";
}

TEST_F(Registry, AStringValueEndsAtItsFirstZero) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "Z"), kOk);
    const BYTE unterminated[] = {'a', 'b', 'c'};
    const BYTE embedded[] = {'a', 0, 'b', 0};
    ASSERT_EQ(RegSetValueExA(key, "u", 0, REG_SZ, unterminated, 3), kOk);
    ASSERT_EQ(RegSetValueExA(key, "e", 0, REG_SZ, embedded, 4), kOk);
    ASSERT_EQ(RegSetValueExA(key, "n", 0, REG_SZ, nullptr, 0), kOk);
    EXPECT_EQ(RegSetValueExA(key, "bad", 0, REG_SZ, nullptr, 3), st(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(comrt::reg_get_string(HKEY_CURRENT_USER, "Z", "u"), "abc");
    EXPECT_EQ(comrt::reg_get_string(HKEY_CURRENT_USER, "Z", "e"), "a");
    EXPECT_EQ(comrt::reg_get_string(HKEY_CURRENT_USER, "Z", "n"), "");
    const BYTE raw[] = {0, 1, 2, 0xFF};
    ASSERT_EQ(RegSetValueExA(key, "raw", 0, REG_NONE, raw, 4), kOk);
    BYTE out[8];
    DWORD size = sizeof out, type = 99;
    ASSERT_EQ(RegQueryValueExA(key, "raw", nullptr, &type, out, &size), kOk);
    EXPECT_EQ(type, REG_NONE);
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(std::memcmp(out, raw, 4), 0);
}

TEST_F(Registry, CorruptHiveIsReportedAndNeverOverwritten) {
    fs::create_directories(fs::path(comrt::user_hive_path()).parent_path());
    const std::string garbage = "[Software\\Ok]\n@=\"fine\"\nthis line is not a hive line\n";
    { std::ofstream(comrt::user_hive_path(), std::ios::binary) << garbage; }
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Ok", 0, KEY_READ, &key), st(ERROR_BADDB));
    EXPECT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\New", "", "x"), st(ERROR_BADDB));
    EXPECT_EQ(read_text(comrt::user_hive_path()), garbage);
}

TEST_F(Registry, PrintsAKeyRecursively) {
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\Classes\\P", "", "Top"), kOk);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\Classes\\P", "Named", "v"), kOk);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\Classes\\P\\Sub", "", "s"), kOk);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\Classes\\P\\Empty", "", ""), kOk);
    const std::string expected =
        "HKEY_CLASSES_ROOT\\P\n"
        "    (Default)    REG_SZ    Top\n"
        "    Named    REG_SZ    v\n"
        "\n"
        "HKEY_CLASSES_ROOT\\P\\Empty\n"
        "    (Default)    REG_SZ    \n"
        "\n"
        "HKEY_CLASSES_ROOT\\P\\Sub\n"
        "    (Default)    REG_SZ    s\n"
        "\n";
    for (const char* spelling : {"HKCR\\P", "HKEY_CLASSES_ROOT\\P", "hkcr\\p\\"}) {
        std::ostringstream out;
        EXPECT_EQ(comrt::PrintRegistryKey(out, spelling), kOk) << spelling;
        if (std::string(spelling) != "hkcr\\p\\") {
            EXPECT_EQ(out.str(), expected);
        }
    }
    std::ostringstream ignored;
    EXPECT_EQ(comrt::PrintRegistryKey(ignored, "HKCU\\Software\\Classes\\Nope"),
              st(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(comrt::PrintRegistryKey(ignored, "HKXX\\Software"), st(ERROR_BAD_PATHNAME));
    std::ostringstream user;
    EXPECT_EQ(comrt::PrintRegistryKey(user, "HKEY_CURRENT_USER\\Software\\Classes\\P\\Sub"), kOk);
    EXPECT_EQ(user.str(),
              "HKEY_CURRENT_USER\\Software\\Classes\\P\\Sub\n    (Default)    REG_SZ    s\n\n");
}

}  // namespace
