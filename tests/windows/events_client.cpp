// Progress events across processes through ole32: a sink in this client, advised on a
// registered kiv.exe's _IPrimeEvents point, hears a 2,000-digit search and cancels a
// 5,000-digit one, which then fails with E_ABORT; the object serves the next call. The sink is
// called back while this (single-threaded) apartment waits for its own call. Prints one line
// per failed check; the exit code is the number of failures.
#include <cstdio>
#include <string>

#include "server/interface/iprime.h"

#include <ocidl.h>

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++g_failures;
    }
}

// Counts Progress and cancels at the `cancelAt`-th; lives on the stack.
class Sink final : public IDispatch {
  public:
    int events = 0;
    int cancelAt = 0;
    double lastDone = -1;
    bool monotone = true;
    std::wstring activity;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__IPrimeEvents) {
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
        if (id != 1 || params->cArgs != 7)
            return DISP_E_MEMBERNOTFOUND;
        ++events;
        const VARIANTARG* a = params->rgvarg;
        if (events == 1 && a[6].vt == VT_BSTR)
            activity = a[6].bstrVal;
        if (a[4].dblVal < lastDone)
            monotone = false;
        lastDone = a[4].dblVal;
        if (cancelAt > 0 && events >= cancelAt && a[0].vt == (VT_BYREF | VT_BOOL))
            *a[0].pboolVal = VARIANT_TRUE;
        return S_OK;
    }
};

std::wstring Description() {
    IErrorInfo* info = nullptr;
    std::wstring text;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
        BSTR description = nullptr;
        if (SUCCEEDED(info->GetDescription(&description)) && description != nullptr)
            text = description;
        SysFreeString(description);
        info->Release();
    }
    return text;
}

// "2" and `zeros` zeros.
BSTR Number(int zeros) {
    std::wstring text = L"2" + std::wstring(static_cast<std::size_t>(zeros), L'0');
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void Run(IPrime2* prime) {
    IProvideClassInfo2* classInfo = nullptr;
    GUID source{};
    Check(prime->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&classInfo)) ==
                  S_OK &&
              classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source) == S_OK &&
              source == DIID__IPrimeEvents,
          "IProvideClassInfo2 names _IPrimeEvents");
    if (classInfo != nullptr)
        classInfo->Release();

    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    Sink sink;
    DWORD cookie = 0;
    if (prime->QueryInterface(IID_IConnectionPointContainer,
                              reinterpret_cast<void**>(&container)) != S_OK ||
        container->FindConnectionPoint(DIID__IPrimeEvents, &point) != S_OK ||
        point->Advise(&sink, &cookie) != S_OK) {
        Check(false, "Advise on _IPrimeEvents");
        if (container != nullptr)
            container->Release();
        return;
    }

    BSTR n2000 = Number(1999);
    IGoldbachPair* pair = nullptr;
    VARIANT_BOOL found = VARIANT_FALSE;
    Check(prime->FindGoldbachPair(n2000, 0, 130, &pair) == S_OK && pair != nullptr &&
              pair->get_Found(&found) == S_OK && found == VARIANT_TRUE,
          "FindGoldbachPair of 2,000 digits finds its pair");
    if (pair != nullptr)
        pair->Release();
    SysFreeString(n2000);
    Check(sink.events >= 1, "FindGoldbachPair of 2,000 digits: Progress heard");
    Check(sink.monotone, "FindGoldbachPair of 2,000 digits: progress monotone");
    Check(sink.activity == L"Goldbach pair search", "FindGoldbachPair: activity");
    std::printf("2,000 digits: %d events\n", sink.events);

    sink.events = 0;
    sink.lastDone = -1;
    sink.cancelAt = 2;
    BSTR n5000 = Number(4999);
    pair = nullptr;
    const HRESULT hr = prime->FindGoldbachPair(n5000, 0, 130, &pair);
    SysFreeString(n5000);
    Check(hr == E_ABORT, "FindGoldbachPair of 5,000 digits cancelled: E_ABORT");
    const std::wstring text = Description();
    std::printf("5,000 digits: hr 0x%08lX after %d events; description \"%ls\"\n",
                static_cast<unsigned long>(hr), sink.events, text.c_str());
    Check(sink.events == 2, "FindGoldbachPair of 5,000 digits: cancelled at the second event");
    if (pair != nullptr)
        pair->Release();

    sink.cancelAt = 0;
    BSTR small = SysAllocString(L"1000000007");
    VARIANT_BOOL isPrime = VARIANT_FALSE;
    Check(prime->IsPrimeNumber(small, kivRabin_Miller, 10, &isPrime) == S_OK &&
              isPrime == VARIANT_TRUE,
          "IsPrimeNumber after the cancel");
    SysFreeString(small);

    Check(point->Unadvise(cookie) == S_OK, "Unadvise");
    point->Release();
    container->Release();
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("FAIL: CoInitializeEx\n");
        return 1;
    }
    IPrime2* prime = nullptr;
    if (CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_LOCAL_SERVER, IID_IPrime2,
                         reinterpret_cast<void**>(&prime)) != S_OK) {
        std::printf("FAIL: CoCreateInstance(CLSID_Prime) for IPrime2\n");
        ++g_failures;
    } else {
        Run(prime);
        prime->Release();
    }
    CoUninitialize();
    return g_failures;
}
