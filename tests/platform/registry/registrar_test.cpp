#include "platform/registry/registrar.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "platform/base/guid.h"
#include "platform/registry/registry.h"
#include "server/interface/iprime.h"
#include "tests/platform/registry/hive_fixture.h"
#include "tests/support/isolated_env.h"

namespace {

namespace fs = std::filesystem;
using comrt::registrar_scope;
using comrt::RegistrarUpdate;

// key path (below the root) -> value name -> text
using registry_dump = std::map<std::string, std::map<std::string, std::string>>;

void dump_into(HKEY key, const std::string& path, registry_dump& out) {
    auto& values = out[path];
    for (DWORD i = 0;; ++i) {
        char name[256];
        BYTE data[1024];
        DWORD cch = sizeof name, size = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &cch, nullptr, &type, data, &size) != 0)
            break;
        values[std::string(name, cch)] = reinterpret_cast<const char*>(data);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD cch = sizeof name;
        if (RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != 0)
            break;
        CRegKey sub;
        if (sub.Open(key, name, KEY_READ) != 0)
            continue;
        dump_into(sub, path.empty() ? name : path + "\\" + name, out);
    }
}

// Every key below root\path with its values; the root itself is left out.
registry_dump dump(HKEY root, const char* path) {
    registry_dump out;
    CRegKey key;
    if (key.Open(root, path, KEY_READ) != 0)
        return out;
    dump_into(key, "", out);
    out.erase("");
    return out;
}

std::string load_script(const char* name) {
    std::ifstream in(std::string(KIV_SOURCE_DIR) + "/server/host/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::string kAppId = guid_to_string(APPID_kiv);
const std::string kClsid = guid_to_string(CLSID_Prime);
const std::string kLibId = guid_to_string(LIBID_kivLib);
const std::string kModule = "\"/opt/kiv dir/bin/kiv's\"";  // quotes, space, apostrophe
const std::map<std::string, std::string> kReplacements{
    {"APPID", kAppId}, {"CLSID", kClsid}, {"LIBID", kLibId}, {"MODULE", kModule}};

// What the two scripts write below the classes root.
registry_dump expected_registration() {
    const std::string clsid_key = "CLSID\\" + kClsid;
    return {
        {"AppID", {}},
        {"AppID\\" + kAppId, {{"", "kiv"}}},
        {"AppID\\kiv.EXE", {{"AppID", kAppId}}},
        {"kiv.Prime.1", {{"", "Prime Class"}}},
        {"kiv.Prime.1\\CLSID", {{"", kClsid}}},
        {"kiv.Prime", {{"", "Prime Class"}}},
        {"kiv.Prime\\CLSID", {{"", kClsid}}},
        {"kiv.Prime\\CurVer", {{"", "kiv.Prime.1"}}},
        {"CLSID", {}},
        {clsid_key, {{"", "Prime Class"}, {"AppID", kAppId}}},
        {clsid_key + "\\ProgID", {{"", "kiv.Prime.1"}}},
        {clsid_key + "\\VersionIndependentProgID", {{"", "kiv.Prime"}}},
        {clsid_key + "\\Programmable", {}},
        {clsid_key + "\\LocalServer32", {{"", kModule}}},
        {clsid_key + "\\TypeLib", {{"", kLibId}}},
    };
}

class Registrar : public kivtest::EmptyHives {
  protected:
    static HRESULT register_server(registrar_scope scope) {
        HRESULT hr = RegistrarUpdate(load_script("kiv_appid.rgs"), kReplacements, true, scope);
        if (FAILED(hr))
            return hr;
        return RegistrarUpdate(load_script("kiv_prime.rgs"), kReplacements, true, scope);
    }
    static HRESULT unregister_server(registrar_scope scope) {
        HRESULT hr = RegistrarUpdate(load_script("kiv_prime.rgs"), kReplacements, false, scope);
        if (FAILED(hr))
            return hr;
        return RegistrarUpdate(load_script("kiv_appid.rgs"), kReplacements, false, scope);
    }
};

TEST_F(Registrar, ServerScriptsWriteExactlyTheirKeysInEitherScope) {
    const struct {
        registrar_scope scope;
        HKEY written, untouched;
    } cases[] = {{registrar_scope::user, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE},
                 {registrar_scope::machine, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}};
    for (const auto& c : cases) {
        SetUp();
        ASSERT_FALSE(load_script("kiv_prime.rgs").empty()) << "scripts found in " KIV_SOURCE_DIR;
        ASSERT_EQ(register_server(c.scope), S_OK);
        EXPECT_EQ(dump(c.written, "Software\\Classes"), expected_registration());
        EXPECT_EQ(dump(c.untouched, ""), registry_dump{}) << "the other hive stays empty";
        EXPECT_EQ(dump(HKEY_CLASSES_ROOT, ""), expected_registration()) << "visible through HKCR";
        if (c.scope == registrar_scope::user) {
            EXPECT_FALSE(fs::exists(comrt::machine_hive_path()));
        }

        ASSERT_EQ(unregister_server(c.scope), S_OK);
        EXPECT_EQ(dump(c.written, "Software\\Classes"),
                  (registry_dump{{"AppID", {}}, {"CLSID", {}}}))
            << "only the two shared roots stay";
    }
}

TEST_F(Registrar, RegisteringTwiceLeavesOneCleanClassKey) {
    ASSERT_EQ(register_server(registrar_scope::user), S_OK);
    const std::string clsid_key = "Software\\Classes\\CLSID\\" + kClsid;
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, clsid_key + "\\Stray\\Deeper", "", "x"), 0);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, clsid_key, "StrayValue", "x"), 0);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, clsid_key + "\\Programmable", "", "x"), 0);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, clsid_key + "\\LocalServer32", "Old", "x"),
              0);
    ASSERT_EQ(register_server(registrar_scope::user), S_OK);
    EXPECT_EQ(dump(HKEY_CURRENT_USER, "Software\\Classes"), expected_registration());
}

TEST_F(Registrar, UnregisteringLeavesOtherClassesAndApplicationsAlone) {
    const std::string other = "{00000000-1111-2222-3333-444444444444}";
    ASSERT_EQ(comrt::reg_set_string(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + other, "",
                                    "Other"),
              0);
    ASSERT_EQ(comrt::reg_set_string(HKEY_LOCAL_MACHINE, "Software\\Classes\\AppID\\other.EXE",
                                    "AppID", other),
              0);
    ASSERT_EQ(register_server(registrar_scope::machine), S_OK);
    ASSERT_EQ(unregister_server(registrar_scope::machine), S_OK);
    EXPECT_EQ(dump(HKEY_LOCAL_MACHINE, "Software\\Classes"),
              (registry_dump{{"AppID", {}},
                             {"AppID\\other.EXE", {{"AppID", other}}},
                             {"CLSID", {}},
                             {"CLSID\\" + other, {{"", "Other"}}}}));
    // Unregistering what is not registered is no error.
    EXPECT_EQ(unregister_server(registrar_scope::machine), S_OK);
    EXPECT_EQ(unregister_server(registrar_scope::user), S_OK);
}

TEST_F(Registrar, KeywordsAndPlaceholders) {
    const struct {
        const char* script;
        const char* before;  // a value set at HKCU\T\Old before the script runs, if any
        bool do_register;
        registry_dump after;  // below HKCU
    } cases[] = {
        {"hkcu { t = s 'x' { VAL n = s 'v' } }", nullptr, true, {{"t", {{"", "x"}, {"n", "v"}}}}},
        {"HKEY_CURRENT_USER { 'two words' = s 'it''s' }",
         nullptr,
         true,
         {{"two words", {{"", "it's"}}}}},
        {"HKCU { T = s '%LOWER%%%' }", nullptr, true, {{"T", {{"", "v%'}%"}}}}},
        {"HKCU { '%lower%' }", nullptr, true, {{"v%'}", {}}}},
        {"HKCU { T { Old } }", "o", true, {{"T", {}}, {"T\\Old", {{"", "o"}}}}},
        {"HKCU { T { ForceRemove Old } }", "o", true, {{"T", {}}, {"T\\Old", {}}}},
        {"HKCU { T { Delete Old { New } } }", "o", true, {{"T", {}}}},
        {"HKCU { t { old } }", "o", false, {}},
        {"HKCU { NoRemove T { Old } }", "o", false, {{"T", {{"Gone", "x"}}}}},
        {"HKCU { NoRemove T { val Gone = s 'x' } }",
         "o",
         false,
         {{"T", {}}, {"T\\Old", {{"", "o"}}}}},
        {"HKCU { T { Delete Old } }", "o", false, {}},
        {"HKCU { NoRemove T { Delete Old } }",
         "o",
         false,
         {{"T", {{"Gone", "x"}}}, {"T\\Old", {{"", "o"}}}}},
        {"HKCU { NoRemove Absent { Child } }", nullptr, false, {{"T", {{"Gone", "x"}}}}},
    };
    for (const auto& c : cases) {
        SetUp();
        if (c.before) {
            ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "T\\Old", "", c.before), 0);
        }
        if (!c.do_register) {
            ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "T", "Gone", "x"), 0);
        }
        std::string diagnostic;
        EXPECT_EQ(RegistrarUpdate(c.script, {{"LOWER", "v%'}"}}, c.do_register,
                                  registrar_scope::machine, &diagnostic),
                  S_OK)
            << c.script << ": " << diagnostic;
        EXPECT_EQ(dump(HKEY_CURRENT_USER, ""), c.after) << c.script;
    }
}

TEST_F(Registrar, BrokenScriptsFailCleanlyAndWriteNothing) {
    const char* broken[] = {
        "HKCR",
        "HKCR {",
        "HKCR { a",
        "HKCR { a = s }",
        "HKCR { a = d '1' }",
        "HKCR { a = 'no type' }",
        "HKCR { a { val = s 'x' } }",
        "HKCR { val n = s 'value under a root' }",
        "HKCR { a } }",
        "HKU { a }",
        "{ a }",
        "'HKCR' { a }",
        "HKCR { 'unterminated }",
        "HKCR { '%UNKNOWN%' }",
        "HKCR { 'half %placeholder' }",
        "HKCR { 'back\\slash' }",
        "HKCR { '' }",
        "HKCR { NoRemove }",
        "HKCR { ForceRemove { } }",
        "HKCR { a = s 'fine' } HKLM { b = s }",
    };
    for (const char* script : broken) {
        std::string diagnostic;
        EXPECT_EQ(
            RegistrarUpdate(script, kReplacements, true, registrar_scope::machine, &diagnostic),
            comrt::REGISTRAR_E_SYNTAX)
            << script;
        EXPECT_EQ(diagnostic.rfind("line ", 0), 0u) << script << " -> " << diagnostic;
        EXPECT_EQ(RegistrarUpdate(script, kReplacements, false), comrt::REGISTRAR_E_SYNTAX);
    }
    EXPECT_FALSE(fs::exists(comrt::machine_hive_path())) << "nothing written";
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "k {\n";
    std::string diagnostic;
    EXPECT_EQ(RegistrarUpdate("HKCR { " + deep, {}, true, registrar_scope::machine, &diagnostic),
              comrt::REGISTRAR_E_SYNTAX);
    EXPECT_NE(diagnostic.find("deeply"), std::string::npos) << diagnostic;

    // Mutations of a real script: applied or refused, never a crash.
    const std::string script = load_script("kiv_prime.rgs");
    std::mt19937 random(11);
    const char alphabet[] = "{}='% \n\tsx";
    for (int round = 0; round < 300; ++round) {
        std::string text = script;
        for (int k = 0; k < 3; ++k)
            text[random() % text.size()] = alphabet[random() % 10];
        HRESULT hr = RegistrarUpdate(text, kReplacements, round % 2 == 0, registrar_scope::user);
        EXPECT_TRUE(hr == S_OK || hr == comrt::REGISTRAR_E_SYNTAX) << std::hex << hr;
    }
}

TEST_F(Registrar, AnUnwritableHiveIsAFailureAndNothingIsHalfWritten) {
    const std::string saved = getenv("COMRT_MACHINE_DIR");
    const std::string blocker = kivtest::isolated_root() + "/not-a-directory";
    { std::ofstream(blocker) << "x"; }
    setenv("COMRT_MACHINE_DIR", (blocker + "/machine").c_str(), 1);
    HRESULT hr = register_server(registrar_scope::machine);
    setenv("COMRT_MACHINE_DIR", saved.c_str(), 1);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(HRESULT_FACILITY(hr), FACILITY_WIN32);
    EXPECT_EQ(dump(HKEY_CLASSES_ROOT, ""), registry_dump{});
}

}  // namespace
