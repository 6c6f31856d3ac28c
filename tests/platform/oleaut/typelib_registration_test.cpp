#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/registry/registry.h"
#include "tests/platform/oleaut/calc_typelib.h"
#include "tests/support/elf_builder.h"
#include "tests/support/isolated_env.h"

namespace {

using namespace calctest;

const std::string kLibId = guid_to_string(LIBID_CalcLib);
const std::string kIid = guid_to_string(IID_ICalc);

// calc.tlb, as version 1.<minor>: the header's version field is major | minor << 16.
std::vector<unsigned char> CalcImage(WORD minor = 0) {
    auto bytes = calc_tlb_bytes();
    EXPECT_GE(bytes.size(), 0x20u);
    if (bytes.size() >= 0x20) {
        bytes[0x1A] = static_cast<unsigned char>(minor & 0xFF);
        bytes[0x1B] = static_cast<unsigned char>(minor >> 8);
    }
    return bytes;
}

std::string WriteFile(const std::string& name, const std::vector<unsigned char>& bytes) {
    std::string path = kivtest::isolated_root() + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::u16string Wide(const std::string& path) {
    return comrt::ansi_to_utf16(path);
}

CComPtr<ITypeLib> Load(const std::string& path, HRESULT expected = S_OK) {
    CComPtr<ITypeLib> lib;
    EXPECT_EQ(LoadTypeLib(Wide(path).c_str(), &lib), expected) << path;
    return lib;
}

std::optional<std::string> UserValue(const std::string& key, const std::string& name = "") {
    return comrt::reg_get_string(HKEY_CURRENT_USER, "Software\\Classes\\" + key, name);
}

TEST(TypeLibLoad, FromATlbFileAndFromAnExecutablesSection) {
    const auto image = CalcImage();
    auto lib = Load(WriteFile("calc.tlb", image));
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->GetTypeInfoCount(), 5u);

    const std::string exe = WriteFile("calc.elf", elftest::BuildElf({{".comrt.typelib.1", image}}));
    ASSERT_NE(Load(exe), nullptr);
    ASSERT_NE(Load(exe + "\\1"), nullptr);  // resource 1, named the Windows way
    Load(exe + "\\2", TYPE_E_CANTLOADLIBRARY);
    Load(WriteFile("other.elf", elftest::BuildElf({{".text", {1, 2, 3}}})), TYPE_E_CANTLOADLIBRARY);

    Load(kivtest::isolated_root() + "/missing.tlb", TYPE_E_CANTLOADLIBRARY);
    Load(WriteFile("text.tlb", {'h', 'e', 'l', 'l', 'o'}), TYPE_E_CANTLOADLIBRARY);
    auto damaged = image;
    damaged.resize(damaged.size() / 2);
    Load(WriteFile("damaged.tlb", damaged), TYPE_E_INVDATAREAD);
    CComPtr<ITypeLib> none;
    EXPECT_EQ(LoadTypeLib(nullptr, &none), E_INVALIDARG);
}

TEST(TypeLibRegistration, PerUserEntriesThenLoadRegTypeLibThenUnregister) {
    const std::string path = WriteFile("calc-user.tlb", CalcImage());
    auto lib = Load(path);
    ASSERT_NE(lib, nullptr);
    CComPtr<ITypeLib> none;
    ASSERT_EQ(LoadRegTypeLib(LIBID_CalcLib, 1, 0, 0, &none), TYPE_E_LIBNOTREGISTERED);

    ASSERT_EQ(RegisterTypeLibForUser(lib, Wide(path).c_str(), nullptr), S_OK);
    const std::string base = "TypeLib\\" + kLibId + "\\1.0";
    EXPECT_EQ(UserValue(base), "Calc 1.0 Type Library");
    EXPECT_EQ(UserValue(base + "\\FLAGS"), "0");
    EXPECT_EQ(UserValue(base + "\\HELPDIR"), "");
    EXPECT_EQ(UserValue(base + "\\0\\win64"), path);
    const std::string itf = "Interface\\" + kIid;
    EXPECT_EQ(UserValue(itf), "ICalc");
    EXPECT_EQ(UserValue(itf + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(UserValue(itf + "\\ProxyStubClsid"), "{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(UserValue(itf + "\\TypeLib"), kLibId);
    EXPECT_EQ(UserValue(itf + "\\TypeLib", "Version"), "1.0");
    // A pure dispinterface is marshalled by Invoke alone.
    const std::string events = "Interface\\" + guid_to_string(calctest::DIID__ICalcEvents);
    EXPECT_EQ(UserValue(events), "_ICalcEvents");
    EXPECT_EQ(UserValue(events + "\\ProxyStubClsid32"), "{00020420-0000-0000-C000-000000000046}");
    EXPECT_EQ(UserValue(events + "\\TypeLib"), kLibId);
    // Only the interfaces: enumerations and coclasses are not marshalled.
    EXPECT_FALSE(UserValue("Interface\\" + guid_to_string(CLSID_Calc)).has_value());
    // Nothing went to the machine.
    EXPECT_FALSE(comrt::reg_key_exists(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + base));

    CComPtr<ITypeLib> found;
    ASSERT_EQ(LoadRegTypeLib(LIBID_CalcLib, 1, 0, 0x409, &found), S_OK);  // neutral serves all
    CComPtr<ITypeInfo> info;
    EXPECT_EQ(found->GetTypeInfoOfGuid(IID_ICalc, &info), S_OK);
    _bstr_t registered;
    ASSERT_EQ(QueryPathOfRegTypeLib(LIBID_CalcLib, 1, 0, 0, registered.GetAddress()), S_OK);
    EXPECT_EQ(registered.view(), Wide(path));
    CComPtr<ITypeLib> newer;
    EXPECT_EQ(LoadRegTypeLib(LIBID_CalcLib, 1, 1, 0, &newer), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(LoadRegTypeLib(LIBID_CalcLib, 2, 0, 0, &newer), TYPE_E_LIBNOTREGISTERED);

    ASSERT_EQ(UnRegisterTypeLibForUser(LIBID_CalcLib, 1, 0, 0, SYS_WIN64), S_OK);
    EXPECT_FALSE(comrt::reg_key_exists(HKEY_CURRENT_USER, "Software\\Classes\\TypeLib\\" + kLibId));
    EXPECT_FALSE(comrt::reg_key_exists(HKEY_CURRENT_USER, "Software\\Classes\\" + itf));
    EXPECT_TRUE(comrt::reg_key_exists(HKEY_CURRENT_USER, "Software\\Classes\\Interface"));
    CComPtr<ITypeLib> gone;
    EXPECT_EQ(LoadRegTypeLib(LIBID_CalcLib, 1, 0, 0, &gone), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(UnRegisterTypeLibForUser(LIBID_CalcLib, 1, 0, 0, SYS_WIN64), TYPE_E_REGISTRYACCESS);
}

TEST(TypeLibRegistration, MachineScopeAndVersionChoice) {
    const std::string v10 = WriteFile("calc-1.0.tlb", CalcImage(0));
    const std::string v13 = WriteFile("calc-1.3.tlb", CalcImage(3));
    CComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(Wide(v10).c_str(), REGKIND_REGISTER, &lib), S_OK);  // the machine's
    lib.Release();
    ASSERT_EQ(LoadTypeLibEx(Wide(v13).c_str(), REGKIND_NONE, &lib), S_OK);
    ASSERT_EQ(RegisterTypeLib(lib, Wide(v13).c_str(), u"/usr/share/doc/calc"), S_OK);
    const std::string machine = "Software\\Classes\\TypeLib\\" + kLibId;
    EXPECT_EQ(comrt::reg_get_string(HKEY_LOCAL_MACHINE, machine + "\\1.3\\HELPDIR"),
              "/usr/share/doc/calc");
    EXPECT_EQ(comrt::reg_get_string(HKEY_CLASSES_ROOT, "TypeLib\\" + kLibId + "\\1.0\\0\\win64"),
              v10);

    auto path_for = [](WORD major, WORD minor) {
        _bstr_t path;
        HRESULT hr = QueryPathOfRegTypeLib(LIBID_CalcLib, major, minor, 0, path.GetAddress());
        return SUCCEEDED(hr) ? comrt::utf16_to_ansi(path.view()) : std::string("none");
    };
    EXPECT_EQ(path_for(1, 0), v10);  // the exact version first
    EXPECT_EQ(path_for(1, 1), v13);  // else the greatest higher minor
    EXPECT_EQ(path_for(1, 4), "none");

    ASSERT_EQ(UnRegisterTypeLib(LIBID_CalcLib, 1, 0, 0, SYS_WIN64), S_OK);
    EXPECT_TRUE(comrt::reg_key_exists(HKEY_LOCAL_MACHINE, machine + "\\1.3"));  // the other stays
    EXPECT_TRUE(comrt::reg_key_exists(HKEY_LOCAL_MACHINE, "Software\\Classes\\Interface\\" + kIid));
    EXPECT_EQ(path_for(1, 0), v13);
    ASSERT_EQ(UnRegisterTypeLib(LIBID_CalcLib, 1, 3, 0, SYS_WIN64), S_OK);
    EXPECT_FALSE(comrt::reg_key_exists(HKEY_LOCAL_MACHINE, machine));
    EXPECT_FALSE(
        comrt::reg_key_exists(HKEY_LOCAL_MACHINE, "Software\\Classes\\Interface\\" + kIid));
}

}  // namespace
