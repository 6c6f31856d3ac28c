#include "server/host/prime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/base/utf8_text.h"
#include "tests/support/error_info_probe.h"
#include "tests/support/isolated_env.h"
#include "tests/support/kiv_process.h"
#include "tests/support/prime_object.h"

namespace {

using kivtest::NewPrime;

TEST(Prime, AnswersExactlyItsFourInterfaces) {
    CComPtr<IPrime> prime = NewPrime();
    const IID supported[] = {IID_IUnknown, IID_IDispatch, IID_IPrime, IID_ISupportErrorInfo};
    for (const IID& iid : supported) {
        CComPtr<IUnknown> p;
        EXPECT_EQ(prime->QueryInterface(iid, reinterpret_cast<void**>(&p)), S_OK)
            << guid_to_string(iid);
    }
    CComPtr<IUnknown> p;
    EXPECT_EQ(prime->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&p)),
              E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    void* unused = nullptr;
    EXPECT_EQ(CPrime::CreateInstance(IID_IErrorInfo, &unused), E_NOINTERFACE);
}

TEST(Prime, AFreshObjectIsSmall) {
    // Thousands of clients may each hold one; the sieve comes only with its first use.
    EXPECT_LT(sizeof(CPrime), 16u * 1024);
}

// 0 when IPrime's type information, missing at first, is found once kivLib is registered.
int TypeInfoFoundAfterLateRegistration() {
    CComPtr<IDispatch> dispatch;
    if (CPrime::CreateInstance(IID_IDispatch, reinterpret_cast<void**>(&dispatch)) != S_OK)
        return 1;
    CComPtr<ITypeInfo> missing;
    if (dispatch->GetTypeInfo(0, 0, &missing) != TYPE_E_LIBNOTREGISTERED)
        return 2;
    const std::u16string path = comrt::utf8_to_utf16(kivtest::KivPath());
    CComPtr<ITypeLib> library;
    if (LoadTypeLib(path.c_str(), &library) != S_OK ||
        RegisterTypeLibForUser(library, path.c_str(), nullptr) != S_OK)
        return 3;
    CComPtr<ITypeInfo> found;
    if (dispatch->GetTypeInfo(0, 0, &found) != S_OK || found == nullptr)
        return 4;
    return 0;
}

TEST(PrimeDeathTest, TypeInfoIsLoadedAgainAfterAFailedLoad) {
    // In a process of its own, where nothing has loaded the type information yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int result = TypeInfoFoundAfterLateRegistration();
            std::error_code ignored;
            std::filesystem::remove_all(kivtest::isolated_root(), ignored);
            std::_Exit(result);
        },
        testing::ExitedWithCode(0), "");
}

TEST(Prime, SupportsErrorInfoOnIPrimeOnly) {
    CComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(NewPrime().QueryInterface(&support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IPrime), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IUnknown), S_FALSE);
}

TEST(Prime, IsInt64PrimeIsNotImplementedWhateverItIsGiven) {
    CComPtr<IPrime> prime = NewPrime();
    LONG ret = 7;
    struct Args {
        ULONGLONG n;
        LONG method, trials;
        LONG* pbRet;
    };
    const Args cases[] = {{5, 1, 0, &ret}, {0, 0, -1, nullptr}, {~0ull, 3, 100, &ret}};
    for (const Args& a : cases) {
        EXPECT_EQ(prime->IsInt64Prime(a.n, a.method, a.trials, a.pbRet), DISP_E_EXCEPTION);
        auto seen = kivtest::TakeErrorInfo();
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->description, u"Not implemented yet.");
    }
    EXPECT_EQ(ret, 7) << "writes nothing";
}

}  // namespace
