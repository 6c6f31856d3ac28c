// kiv from C++: a primality test, a Goldbach pair search that shows its progress and is
// cancelled once it runs longer than a limit, then one that is answered, and the system report.
// Early-bound through IPrime2; the events arrive at a small IDispatch sink advised through the
// object's connection point.
//   kiv_sample [digits [seconds]]   digits of the even number searched (3000), the limit (5 s)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "server/interface/iprime.h"

namespace {

double g_limit_seconds = 5;

std::string Narrow(const _bstr_t& text) {
    const char* ansi = text;
    return ansi != nullptr ? ansi : "";
}

std::string Narrow(BSTR text) {
    return Narrow(_bstr_t(text));
}

std::string Hex(HRESULT hr) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// _IPrimeEvents as a plain IDispatch: Progress is DISPID 1, its seven arguments last first.
// It lives on main's stack, so its reference count has nothing to free.
class ProgressSink final : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID__IPrimeEvents)) {
            *ppv = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        if (id != 1)
            return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 7 || params->rgvarg[0].vt != (VT_BOOL | VT_BYREF))
            return DISP_E_TYPEMISMATCH;
        const VARIANTARG* arg = params->rgvarg;
        double elapsed = arg[2].dblVal;
        std::printf("progress: %s, %.0f of ~%.0f %s, p = %s, %.1f s\n",
                    Narrow(arg[6].bstrVal).c_str(), arg[4].dblVal, arg[3].dblVal,
                    Narrow(arg[5].bstrVal).c_str(), Narrow(arg[1].bstrVal).c_str(), elapsed);
        std::fflush(stdout);
        if (elapsed >= g_limit_seconds)
            *static_cast<VARIANT_BOOL*>(arg[0].byref) = VARIANT_TRUE;
        return S_OK;
    }
};

// "pair: p + q", or why there is none.
std::string Pair(IPrime2* prime, const std::string& number) {
    CComPtr<IGoldbachPair> pair;
    HRESULT hr = prime->FindGoldbachPair(_bstr_t(number.c_str()).GetBSTR(), 0,
                                         kivDefaultThreadsPerCore, &pair);
    if (FAILED(hr)) {
        CComPtr<IErrorInfo> info;
        _bstr_t description;
        if (GetErrorInfo(0, &info) == S_OK && info != nullptr)
            info->GetDescription(description.GetAddress());
        return "stopped: " + (description.length() > 0 ? Narrow(description) : "error " + Hex(hr));
    }
    VARIANT_BOOL found = VARIANT_FALSE;
    _bstr_t first, second;
    pair->get_Found(&found);
    pair->get_First(first.GetAddress());
    pair->get_Second(second.GetAddress());
    return found ? "pair: " + Narrow(first) + " + " + Narrow(second) : "no pair";
}

int Run(int digits) {
    CComPtr<IPrime2> prime;
    HRESULT hr = CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_LOCAL_SERVER, IID_IPrime2,
                                  reinterpret_cast<void**>(&prime));
    if (FAILED(hr)) {
        std::printf("kiv.Prime: error %s\n", Hex(hr).c_str());
        return 1;
    }
    VARIANT_BOOL is_prime = VARIANT_FALSE;
    prime->IsPrimeNumber(_bstr_t("1000000007").GetBSTR(), kivRabin_Miller, 10, &is_prime);
    std::printf("1000000007 is prime: %s\n", is_prime ? "True" : "False");

    ProgressSink sink;
    CComPtr<IConnectionPointContainer> container;
    CComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (SUCCEEDED(prime->QueryInterface(IID_IConnectionPointContainer,
                                        reinterpret_cast<void**>(&container))) &&
        SUCCEEDED(container->FindConnectionPoint(DIID__IPrimeEvents, &point)))
        point->Advise(&sink, &cookie);

    std::printf("%s\n", Pair(prime, "1" + std::string(digits - 2, '0') + "8").c_str());
    std::printf("%s\n", Pair(prime, "1" + std::string(98, '0') + "8").c_str());
    if (cookie != 0)
        point->Unadvise(cookie);

    _bstr_t report;
    prime->get_SysInfo(report.GetAddress());
    std::printf("%s\n", Narrow(report).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int digits = argc > 1 ? std::atoi(argv[1]) : 3000;
    if (argc > 2)
        g_limit_seconds = std::atof(argv[2]);
    if (digits < 3)
        digits = 3;
    CoInitialize(nullptr);
    int rc = Run(digits);
    CoUninitialize();
    return rc;
}
