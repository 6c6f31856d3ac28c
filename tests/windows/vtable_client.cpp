// Early-bound client of a registered kiv.exe: every IPrime method through the virtual table,
// as a compiled client calls them. Prints one line per failed check; the exit code is the
// number of failures.
//
// Only HRESULTs and out values are checked. Under Wine 8 the error information that the
// server sets does not come back with a failed call through a vtable proxy, so the source and
// the description of refused arguments are checked by the scripting clients instead, whose
// calls go through IDispatch::Invoke and its EXCEPINFO.
#include <cstdio>
#include <cwchar>

#include "server/interface/iprime.h"

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++g_failures;
    }
}

// A BSTR that frees itself; Out() hands its address to a method that writes it.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : m_bstr(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(m_bstr); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return m_bstr; }
    BSTR* Out() {
        SysFreeString(m_bstr);
        m_bstr = nullptr;
        return &m_bstr;
    }
    bool Is(const wchar_t* text) const {
        return m_bstr != nullptr && std::wcscmp(m_bstr, text) == 0;
    }
    bool Has(const wchar_t* text) const {
        return m_bstr != nullptr && std::wcsstr(m_bstr, text) != nullptr;
    }

  private:
    BSTR m_bstr = nullptr;
};

void CheckIsPrime(IPrime* prime) {
    struct Case {
        const wchar_t* number;
        LONG method, trials, expected;
        const char* what;
    };
    const Case cases[] = {
        {L"1000000007", kivAKS, 0, 1, "IsPrime 1000000007 by AKS"},
        {L"1000000007", kivTrial_Division, 0, 1, "IsPrime 1000000007 by trial division"},
        {L"1000000007", kivRabin_Miller, 10, 1, "IsPrime 1000000007 by Rabin-Miller"},
        {L"56052361", kivAKS, 0, 0, "IsPrime 56052361 by AKS"},
        {L"2305843009213693951", kivAKS, 0, 1, "IsPrime 2305843009213693951 by AKS"},
    };
    for (const Case& c : cases) {
        Bstr number(c.number);
        LONG ret = -1;
        Check(prime->IsPrime(number.Get(), c.method, c.trials, &ret) == S_OK && ret == c.expected,
              c.what);
    }
}

void CheckGoldbach(IPrime* prime) {
    struct Case {
        const wchar_t* number;
        LONG trials;
        const wchar_t *first, *second;
        const char* what;
    };
    const Case cases[] = {
        {L"100", 0, L"3", L"97", "GetGBPairUsingRM 100"},
        {L"2050", 10, L"11", L"2039", "GetGBPairUsingRM 2050 with 10 trials"},
        {L"4", 0, L"2", L"2", "GetGBPairUsingRM 4"},
    };
    for (const Case& c : cases) {
        Bstr number(c.number), first, second;
        LONG ret = 0;
        HRESULT hr = prime->GetGBPairUsingRM(number.Get(), c.trials, first.Out(), second.Out(),
                                             &ret, kivDefaultThreadsPerCore);
        Check(hr == S_OK && ret == 1 && first.Is(c.first) && second.Is(c.second), c.what);
    }
}

void CheckRefused(IPrime* prime) {
    Bstr bad(L"abc"), odd(L"7"), hundred(L"100"), first, second, status;
    LONG ret = 5;
    Check(prime->IsPrime(bad.Get(), kivAKS, 0, &ret) == DISP_E_EXCEPTION, "IsPrime abc is refused");
    Check(prime->IsInt64Prime(5, kivAKS, 0, &ret) == DISP_E_EXCEPTION, "IsInt64Prime");
    Check(prime->GetGBPairUsingRM(odd.Get(), 0, first.Out(), second.Out(), &ret, 130) ==
              DISP_E_EXCEPTION,
          "GetGBPairUsingRM 7 is refused");
    Check(prime->GetGBPairUsingRM(hundred.Get(), 0, first.Out(), second.Out(), &ret, 1) ==
              DISP_E_EXCEPTION,
          "GetGBPairUsingRM with 1 thread per core is refused");
    Check(prime->TestKIV(0, 0, status.Out(), &ret, 130) == DISP_E_EXCEPTION,
          "TestKIV with 0 digits is refused");
}

void CheckTestKIVAndSysInfo(IPrime* prime) {
    Bstr status;
    LONG ret = 0;
    Check(prime->TestKIV(12, 0, status.Out(), &ret, kivDefaultThreadsPerCore) == S_OK && ret == 1 &&
              status.Is(L"Digits: 12\nSuccess."),
          "TestKIV 12 digits");
    Bstr info;
    HRESULT hr = prime->GetSysInfo(info.Out());
    Check(SUCCEEDED(hr), "GetSysInfo succeeds");
    Check(info.Has(L" Core(s)") && info.Has(L"\nTotal physical memory: ") &&
              info.Has(L"\nAvailable physical memory: ") && info.Has(L"\nTotal virtual memory: ") &&
              info.Has(L"\nAvailable virtual memory: "),
          "GetSysInfo reports cores and memory");
}

}  // namespace

int main() {
    if (FAILED(CoInitialize(nullptr))) {
        std::printf("FAIL: CoInitialize\n");
        return 1;
    }
    IPrime* prime = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_LOCAL_SERVER, IID_IPrime,
                                  reinterpret_cast<void**>(&prime));
    if (FAILED(hr) || prime == nullptr) {
        std::printf("FAIL: CoCreateInstance of kiv.Prime: 0x%08lX\n",
                    static_cast<unsigned long>(hr));
        CoUninitialize();
        return 1;
    }
    CheckIsPrime(prime);
    CheckGoldbach(prime);
    CheckRefused(prime);
    CheckTestKIVAndSysInfo(prime);
    prime->Release();
    CoUninitialize();
    std::printf("vtable_client: %d failure(s)\n", g_failures);
    return g_failures;
}
