// The MSFT reader on real libraries damaged at random: every file is read or refused with
// one of the loader's codes, and whatever is read answers every question without harm. The
// asan preset runs it under AddressSanitizer.
#include <gtest/gtest.h>

#include <random>

#include "platform/oleaut/type_lib_object.h"
#include "platform/oleaut/typelib_msft.h"
#include "tests/platform/oleaut/calc_typelib.h"

namespace {

using comrt::TypeLibModel;
using Bytes = std::vector<unsigned char>;

void Put(Bytes& b, std::size_t at, std::int32_t value) {
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = static_cast<unsigned char>(static_cast<std::uint32_t>(value) >> (8 * i));
}

// Every answer of every type info, so that anything a damaged file slipped past the reader
// is met once.
void Walk(ITypeLib* lib) {
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        CComPtr<ITypeInfo> info;
        ASSERT_EQ(lib->GetTypeInfo(i, &info), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        for (UINT k = 0; k < attr->cFuncs; ++k) {
            FUNCDESC* f = nullptr;
            ASSERT_EQ(info->GetFuncDesc(k, &f), S_OK);
            BSTR names[8] = {};
            UINT count = 0;
            if (SUCCEEDED(info->GetNames(f->memid, names, 8, &count)))
                for (UINT n = 0; n < count; ++n)
                    SysFreeString(names[n]);
            info->GetDocumentation(f->memid, nullptr, nullptr, nullptr, nullptr);
            info->ReleaseFuncDesc(f);
        }
        for (UINT k = 0; k < attr->cVars; ++k) {
            VARDESC* v = nullptr;
            ASSERT_EQ(info->GetVarDesc(k, &v), S_OK);
            info->ReleaseVarDesc(v);
        }
        for (UINT k = 0; k < attr->cImplTypes; ++k) {
            HREFTYPE href = 0;
            CComPtr<ITypeInfo> impl;
            if (SUCCEEDED(info->GetRefTypeOfImplType(k, &href)))
                info->GetRefTypeInfo(href, &impl);
        }
        info->ReleaseTypeAttr(attr);
    }
}

TEST(TypeLibMsft, SurvivesRandomDamageToRealLibraries) {
    const Bytes sources[] = {calctest::calc_tlb_bytes(), calctest::file_bytes(KIV_SHAPES_TLB_FILE)};
    std::mt19937 random(20261208);  // fixed: a failure can be replayed
    const std::int32_t telling[] = {-1, 0, 1, 4, 0x7FFFFFFF, INT32_MIN, 0xFFFF, 0x64, 0x10000};
    int read = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = sources[round % 2];
        ASSERT_FALSE(bytes.empty());
        const int damages = 1 + static_cast<int>(random() % 4);
        for (int d = 0; d < damages; ++d) {
            const std::size_t at = random() % (bytes.size() - 4);
            switch (random() % 4) {
                case 0:
                    bytes[at] ^= static_cast<unsigned char>(1 << (random() % 8));
                    break;
                case 1:
                    Put(bytes, at & ~std::size_t{3}, telling[random() % std::size(telling)]);
                    break;
                case 2:
                    Put(bytes, at & ~std::size_t{3}, static_cast<std::int32_t>(random()));
                    break;
                default:
                    bytes.resize(bytes.size() -
                                 std::min<std::size_t>(bytes.size() / 2, random() % 64));
                    break;
            }
        }
        TypeLibModel model;
        const HRESULT hr = comrt::read_msft_typelib(bytes, &model);
        ASSERT_TRUE(hr == S_OK || hr == TYPE_E_INVDATAREAD || hr == TYPE_E_UNSUPFORMAT ||
                    hr == TYPE_E_CANTLOADLIBRARY)
            << std::hex << hr << " in round " << std::dec << round;
        if (hr != S_OK)
            continue;
        ++read;
        CComPtr<ITypeLib> lib;
        ASSERT_EQ(comrt::create_type_lib(std::move(model), &lib), S_OK) << round;
        Walk(lib);
    }
    EXPECT_GT(read, 100);  // damage to what is not read leaves a library to walk
}

}  // namespace
