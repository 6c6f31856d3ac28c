// IPrime2 against IPrime: the same answers, failures and texts, results as return values; the
// pair object; the interfaces a scripting host looks for.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"
#include "server/host/prime.h"
#include "tests/support/error_info_probe.h"
#include "tests/support/kiv_process.h"
#include "tests/support/prime_object.h"

namespace {

using kivtest::NewPrime;

std::u16string Description() {
    auto seen = kivtest::TakeErrorInfo();
    return seen ? seen->description : u"";
}

CComPtr<IPrime2> NewPrime2() {
    CComPtr<IPrime2> prime;
    EXPECT_EQ(CPrime::CreateInstance(IID_IPrime2, reinterpret_cast<void**>(&prime)), S_OK);
    return prime;
}

std::u16string Text(BSTR text) {
    return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text));
}

TEST(Prime2, IsPrimeNumberAnswersAsIsPrime) {
    CComPtr<IPrime2> prime = NewPrime2();
    struct Case {
        const char16_t* n;
        LONG method, trials;
    };
    const Case cases[] = {{u"97", kivRabin_Miller, 10},  {u"1000000007", kivAKS, 0},
                          {u"91", kivTrial_Division, 0}, {u"2047", kivRabin_Miller, 0},
                          {u"abc", kivAKS, 0},           {u"97", 0, 0},
                          {u"97", kivRabin_Miller, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.n, c.n + std::char_traits<char16_t>::length(c.n)));
        _bstr_t n(c.n);
        LONG old = -1;
        const HRESULT oldHr = prime->IsPrime(n.GetBSTR(), c.method, c.trials, &old);
        const std::u16string oldText = Description();
        VARIANT_BOOL now = 7;
        const HRESULT nowHr = prime->IsPrimeNumber(n.GetBSTR(), c.method, c.trials, &now);
        EXPECT_EQ(nowHr, oldHr);
        EXPECT_EQ(Description(), oldText);
        EXPECT_EQ(now, old == 1 ? VARIANT_TRUE : VARIANT_FALSE);
    }
}

TEST(Prime2, FindGoldbachPairAnswersAsGetGBPairUsingRM) {
    CComPtr<IPrime2> prime = NewPrime2();
    struct Case {
        const char16_t* n;
        LONG trials;
        ULONG perCore;
    };
    const Case cases[] = {{u"4", 0, 130}, {u"100", 0, 130},  {u"2050", 0, 2},
                          {u"7", 0, 130}, {u"100", -1, 130}, {u"100", 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.n, c.n + std::char_traits<char16_t>::length(c.n)));
        _bstr_t n(c.n), first, second;
        LONG found = -1;
        const HRESULT oldHr = prime->GetGBPairUsingRM(n.GetBSTR(), c.trials, first.GetAddress(),
                                                      second.GetAddress(), &found, c.perCore);
        const std::u16string oldText = Description();
        CComPtr<IGoldbachPair> pair;
        EXPECT_EQ(prime->FindGoldbachPair(n.GetBSTR(), c.trials, c.perCore, &pair), oldHr);
        EXPECT_EQ(Description(), oldText);
        if (FAILED(oldHr)) {
            EXPECT_EQ(pair, nullptr);
            continue;
        }
        ASSERT_NE(pair, nullptr);
        _bstr_t text, p, q;
        VARIANT_BOOL isFound = 7;
        ASSERT_EQ(pair->get_Text(text.GetAddress()), S_OK);
        ASSERT_EQ(pair->get_First(p.GetAddress()), S_OK);
        ASSERT_EQ(pair->get_Second(q.GetAddress()), S_OK);
        ASSERT_EQ(pair->get_Found(&isFound), S_OK);
        EXPECT_EQ(isFound, found == 1 ? VARIANT_TRUE : VARIANT_FALSE);
        EXPECT_EQ(Text(p.GetBSTR()), Text(first.GetBSTR()));
        EXPECT_EQ(Text(q.GetBSTR()), Text(second.GetBSTR()));
        EXPECT_EQ(Text(text.GetBSTR()),
                  found == 1 ? Text(first.GetBSTR()) + u" + " + Text(second.GetBSTR()) : u"");
    }
}

TEST(Prime2, RunTestAndSysInfoAnswerAsTestKIVAndGetSysInfo) {
    CComPtr<IPrime2> prime = NewPrime2();
    struct Case {
        ULONGLONG digits;
        ULONG perCore;
    };
    for (const Case& c : {Case{12, 2}, Case{0, 130}, Case{12, 1}}) {
        SCOPED_TRACE(c.digits);
        _bstr_t oldStatus, status;
        LONG found = -1;
        const HRESULT oldHr =
            prime->TestKIV(c.digits, 0, oldStatus.GetAddress(), &found, c.perCore);
        const std::u16string oldText = Description();
        EXPECT_EQ(prime->RunTest(c.digits, VARIANT_FALSE, c.perCore, status.GetAddress()), oldHr);
        EXPECT_EQ(Description(), oldText);
        EXPECT_EQ(Text(status.GetBSTR()), Text(oldStatus.GetBSTR()));
    }
    _bstr_t report, oldReport;
    const HRESULT oldHr = prime->GetSysInfo(oldReport.GetAddress());  // S_FALSE: no core count
    EXPECT_EQ(prime->get_SysInfo(report.GetAddress()), oldHr);
    // The memory figures move; the processor lines do not.
    const std::u16string a = Text(report.GetBSTR()), b = Text(oldReport.GetBSTR());
    EXPECT_EQ(a.substr(0, a.find(u"Memory")), b.substr(0, b.find(u"Memory")));
}

TEST(Prime2, AnswersTheInterfacesOfAScriptableConnectableObject) {
    CComPtr<IPrime> prime = NewPrime();
    for (const IID& iid : {IID_IPrime2, IID_IConnectionPointContainer, IID_IProvideClassInfo,
                           IID_IProvideClassInfo2}) {
        CComPtr<IUnknown> p;
        EXPECT_EQ(prime->QueryInterface(iid, reinterpret_cast<void**>(&p)), S_OK)
            << guid_to_string(iid);
    }
    CComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(prime.QueryInterface(&support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IPrime2), S_OK);

    CComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(prime->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&classInfo)),
              S_OK);
    GUID source{};
    EXPECT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_EQ(source, DIID__IPrimeEvents);
    EXPECT_EQ(classInfo->GetGUID(2, &source), E_INVALIDARG);
    ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0);  // the class's type information
    CComPtr<ITypeInfo> coclass;
    ASSERT_EQ(classInfo->GetClassInfo(&coclass), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(attr->guid, CLSID_Prime);
    coclass->ReleaseTypeAttr(attr);
}

}  // namespace
