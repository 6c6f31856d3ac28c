// The registrar of the Windows build: kiv's own scripts applied to the real registry (the
// private Wine prefix of the test run), and removed again.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "platform/comrt_extensions.h"
#include "platform/win32.h"

namespace {

constexpr char kAppId[] = "{FD895915-74C4-4243-B01E-00ADD16BDCE2}";
constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{86AB8EAA-85E0-4FF9-AD65-60AD6E3A3245}";

std::string Script(const char* name) {
    std::ifstream in(std::string(KIV_SOURCE_DIR) + "/server/host/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::map<std::string, std::string> kReplacements = {
    {"MODULE", "\"C:\\kiv\\kiv.exe\""},
    {"APPID", kAppId},
    {"CLSID", "{86AB8EAA-85E0-4FF9-AD65-60AD6E3A3245}"},
    {"LIBID", "{E253A1A0-8798-459D-AD98-C12D9FEBC681}"}};

// A REG_SZ value, or nullopt when the key or value is missing.
std::optional<std::wstring> Text(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t buffer[512];
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

TEST(RegistrarUpdate, RegistersAndRemovesTheClassInEitherScope) {
    struct Case {
        comrt::registrar_scope scope;
        HKEY root;
    };
    const Case cases[] = {{comrt::registrar_scope::machine, HKEY_LOCAL_MACHINE},
                          {comrt::registrar_scope::user, HKEY_CURRENT_USER}};
    for (const Case& c : cases) {
        const std::string script = Script("kiv_prime.rgs");
        ASSERT_FALSE(script.empty());
        ASSERT_EQ(comrt::RegistrarUpdate(script, kReplacements, true, c.scope), S_OK);
        const std::wstring server = std::wstring(kClassKey) + L"\\LocalServer32";
        EXPECT_EQ(Text(c.root, server, nullptr), L"\"C:\\kiv\\kiv.exe\"");
        EXPECT_EQ(Text(c.root, kClassKey, L"AppID"), L"{FD895915-74C4-4243-B01E-00ADD16BDCE2}");
        EXPECT_EQ(Text(c.root, L"Software\\Classes\\kiv.Prime\\CurVer", nullptr), L"kiv.Prime.1");
        EXPECT_TRUE(KeyExists(c.root, std::wstring(kClassKey) + L"\\Programmable"));

        ASSERT_EQ(comrt::RegistrarUpdate(script, kReplacements, false, c.scope), S_OK);
        EXPECT_FALSE(KeyExists(c.root, kClassKey));
        EXPECT_FALSE(KeyExists(c.root, L"Software\\Classes\\kiv.Prime"));
        EXPECT_TRUE(KeyExists(c.root, L"Software\\Classes\\CLSID"));  // NoRemove
    }
}

TEST(RegistrarUpdate, RemovesOnlyTheValuesOfANoRemoveKey) {
    const std::string script = Script("kiv_appid.rgs");
    ASSERT_EQ(comrt::RegistrarUpdate(script, kReplacements, true), S_OK);
    const std::wstring app = L"Software\\Classes\\AppID\\kiv.EXE";
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, app, L"AppID"), L"{FD895915-74C4-4243-B01E-00ADD16BDCE2}");
    ASSERT_EQ(comrt::RegistrarUpdate(script, kReplacements, false), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, app));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\AppID"));
}

TEST(RegistrarUpdate, WritesNothingOfAScriptThatDoesNotParse) {
    struct Case {
        const char* script;
    };
    const Case cases[] = {
        {"HKCR { KivBroken = s 'x' { Sub = s 'y' }"},  // unclosed block
        {"HKCR { KivBroken = s '%UNKNOWN%' }"},        // unknown placeholder
    };
    for (const Case& c : cases) {
        std::string diagnostic;
        EXPECT_EQ(comrt::RegistrarUpdate(c.script, kReplacements, true,
                                         comrt::registrar_scope::machine, &diagnostic),
                  comrt::REGISTRAR_E_SYNTAX)
            << c.script;
        EXPECT_FALSE(diagnostic.empty()) << c.script;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\KivBroken")) << c.script;
    }
}

}  // namespace
