// Processor records from WMI: "SELECT * FROM Win32_Processor" in root\cimv2.
#include <wbemidl.h>

#include "platform/windows/extensions.h"

namespace comrt {
namespace {

// The thread's COM, for as long as the query runs; a thread already initialised keeps its own.
class ComScope {
  public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT m_hr;
};

// A VARIANT cleared on every path out.
struct Property : VARIANT {
    Property() { VariantInit(this); }
    ~Property() { VariantClear(this); }
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;
};

std::optional<ULONG> Number(IWbemClassObject* object, const wchar_t* name) {
    Property value;
    if (FAILED(object->Get(name, 0, &value, nullptr, nullptr)) ||
        FAILED(VariantChangeType(&value, &value, 0, VT_UI4)))
        return std::nullopt;
    return value.ulVal;
}

ProcessorRecord RecordOf(IWbemClassObject* object) {
    ProcessorRecord record;
    Property name;
    if (SUCCEEDED(object->Get(L"Name", 0, &name, nullptr, nullptr)) && name.vt == VT_BSTR &&
        name.bstrVal != nullptr)
        record.Name.emplace(name.bstrVal, SysStringLen(name.bstrVal));
    record.NumberOfCores = Number(object, L"NumberOfCores");
    record.NumberOfLogicalProcessors = Number(object, L"NumberOfLogicalProcessors");
    return record;
}

HRESULT Query(std::vector<ProcessorRecord>& records) {
    CComPtr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(&locator));
    if (FAILED(hr))
        return hr;
    CComPtr<IWbemServices> services;
    BSTR wmi_namespace = SysAllocString(L"ROOT\\CIMV2");
    hr = locator->ConnectServer(wmi_namespace, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                &services);
    SysFreeString(wmi_namespace);
    if (FAILED(hr))
        return hr;
    CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    CComPtr<IEnumWbemClassObject> rows;
    BSTR language = SysAllocString(L"WQL");
    BSTR query = SysAllocString(L"SELECT * FROM Win32_Processor");
    hr = services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                             nullptr, &rows);
    SysFreeString(query);
    SysFreeString(language);
    if (FAILED(hr))
        return hr;
    for (;;) {
        CComPtr<IWbemClassObject> row;
        ULONG returned = 0;
        hr = rows->Next(static_cast<LONG>(WBEM_INFINITE), 1, &row, &returned);
        if (FAILED(hr))
            return hr;
        if (returned == 0)
            return S_OK;
        records.push_back(RecordOf(row));
    }
}

}  // namespace

HRESULT QueryProcessorRecords(std::vector<ProcessorRecord>& records) {
    records.clear();
    ComScope com;
    try {
        return Query(records);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace comrt
