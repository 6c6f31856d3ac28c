#include "platform/ole/progid.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/base/bstr.h"
#include "platform/base/hresult.h"
#include "platform/registry/registry.h"

namespace {

namespace fs = std::filesystem;

const CLSID kClassA = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const CLSID kClassB = {
    0xAAAAAAAA, 0xBBBB, 0xCCCC, {0xDD, 0xDD, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}};

struct TaskMemFree {
    void operator()(OLECHAR* p) const { CoTaskMemFree(p); }
};

class ProgId : public ::testing::Test {
  protected:
    void SetUp() override {
        std::error_code ignored;
        fs::remove(comrt::machine_hive_path(), ignored);
        fs::remove(comrt::user_hive_path(), ignored);
        // Machine: class A as Sample.A.1 / Sample.A (via CurVer). User: Sample.B.1 only.
        const std::string a = guid_to_string(kClassA), b = guid_to_string(kClassB);
        auto machine = [](const std::string& path, const std::string& value) {
            return comrt::reg_set_string(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + path, "",
                                         value);
        };
        auto user = [](const std::string& path, const std::string& value) {
            return comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\Classes\\" + path, "",
                                         value);
        };
        ASSERT_EQ(machine("Sample.A.1\\CLSID", a), 0);
        ASSERT_EQ(machine("Sample.A\\CurVer", "Sample.A.1"), 0);
        ASSERT_EQ(machine("CLSID\\" + a + "\\ProgID", "Sample.A.1"), 0);
        ASSERT_EQ(user("Sample.B.1\\CLSID", b), 0);
        ASSERT_EQ(user("CLSID\\" + b + "\\ProgID", "Sample.B.1"), 0);
        ASSERT_EQ(machine("Broken.1\\CLSID", "not a guid"), 0);
        ASSERT_EQ(machine("Loop.A\\CurVer", "Loop.B"), 0);
        ASSERT_EQ(machine("Loop.B\\CurVer", "Loop.A"), 0);
        ASSERT_EQ(machine("CLSID\\{00000000-0000-0000-0000-000000000001}", "no ProgID key"), 0);
        ASSERT_EQ(machine("Unicode.\xC3\xA9\\CLSID", a), 0);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove(comrt::machine_hive_path(), ignored);
        fs::remove(comrt::user_hive_path(), ignored);
    }
};

TEST_F(ProgId, ClsidFromProgId) {
    const struct {
        const char16_t* prog_id;
        HRESULT hr;
        CLSID clsid;
    } cases[] = {
        {u"Sample.A.1", S_OK, kClassA},
        {u"sample.a.1", S_OK, kClassA},  // names are case-insensitive
        {u"Sample.A", S_OK, kClassA},    // through CurVer
        {u"Sample.B.1", S_OK, kClassB},  // per-user registration
        {u"Unicode.\u00E9", S_OK, kClassA},
        {u"Unknown.1", CO_E_CLASSSTRING, GUID_NULL},
        {u"", CO_E_CLASSSTRING, GUID_NULL},
        {u"Sample.A.1\\CLSID", CO_E_CLASSSTRING, GUID_NULL},
        {u"Broken.1", CO_E_CLASSSTRING, GUID_NULL},
        {u"Loop.A", CO_E_CLASSSTRING, GUID_NULL},
        {u"{11111111-2222-3333-4444-555555555555}", CO_E_CLASSSTRING, GUID_NULL},
        {u"Lone\xD800surrogate", CO_E_CLASSSTRING, GUID_NULL},
    };
    for (const auto& c : cases) {
        CLSID clsid = kClassB;
        EXPECT_EQ(CLSIDFromProgID(c.prog_id, &clsid), c.hr)
            << std::string(c.prog_id, c.prog_id + std::char_traits<char16_t>::length(c.prog_id));
        EXPECT_EQ(clsid, c.clsid);
    }
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(u"Sample.A.1", nullptr), E_INVALIDARG);
}

TEST_F(ProgId, ProgIdFromClsid) {
    const struct {
        CLSID clsid;
        HRESULT hr;
        const char16_t* prog_id;
    } cases[] = {
        {kClassA, S_OK, u"Sample.A.1"},
        {kClassB, S_OK, u"Sample.B.1"},
        {GUID_NULL, REGDB_E_CLASSNOTREG, nullptr},
        {{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}}, REGDB_E_CLASSNOTREG, nullptr},  // no ProgID key
    };
    for (const auto& c : cases) {
        LPOLESTR raw = reinterpret_cast<LPOLESTR>(&raw);  // must be overwritten
        EXPECT_EQ(ProgIDFromCLSID(c.clsid, &raw), c.hr) << guid_to_string(c.clsid);
        std::unique_ptr<OLECHAR, TaskMemFree> prog_id(raw);
        if (c.prog_id == nullptr) {
            EXPECT_EQ(raw, nullptr);
        } else {
            ASSERT_NE(raw, nullptr);
            EXPECT_EQ(std::u16string(raw), c.prog_id);
        }
    }
    EXPECT_EQ(ProgIDFromCLSID(kClassA, nullptr), E_INVALIDARG);

    // The per-user registration wins over the machine's.
    ASSERT_EQ(
        comrt::reg_set_string(HKEY_CURRENT_USER,
                              "Software\\Classes\\CLSID\\" + guid_to_string(kClassA) + "\\ProgID",
                              "", "Mine.A.2"),
        0);
    LPOLESTR raw = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kClassA, &raw), S_OK);
    std::unique_ptr<OLECHAR, TaskMemFree> prog_id(raw);
    EXPECT_EQ(std::u16string(raw), u"Mine.A.2");
}

}  // namespace
