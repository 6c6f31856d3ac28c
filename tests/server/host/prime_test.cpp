#include "server/host/prime.h"

#include <gtest/gtest.h>

#include "tests/support/error_info_probe.h"

namespace {

CComPtr<IPrime> NewPrime() {
    CComPtr<IPrime> prime;
    EXPECT_EQ(CPrime::CreateInstance(IID_IPrime, reinterpret_cast<void**>(&prime)), S_OK);
    return prime;
}

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
