#include "platform/tools/event_printer.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/oleaut/ffi_types.h"

namespace comrt_tool {
namespace {

std::string Narrow(const OLECHAR* text, UINT length) {
    return comrt::utf16_to_ansi({text != nullptr ? text : u"", length});
}

// A value as a script would print it: strings quoted, booleans True and False.
std::string EventText(const VARIANT& arg) {
    const VARIANT* v = &arg;
    VARIANT value;
    VariantInit(&value);
    if ((arg.vt & VT_BYREF) != 0) {
        if (arg.vt == (VT_BYREF | VT_VARIANT))
            return EventText(*arg.pvarVal);
        value.vt = arg.vt & ~VT_BYREF;
        // As wide as a call passes it; the rest (dates, currency) are 8 bytes.
        const ffi_type* type = comrt::ffi_type_of_value(value.vt);
        std::memcpy(&value.llVal, arg.byref, type != nullptr ? type->size : sizeof value.llVal);
        v = &value;
    }
    char buffer[64];
    switch (v->vt) {
        case VT_BSTR:
            return "\"" + Narrow(v->bstrVal, SysStringLen(v->bstrVal)) + "\"";
        case VT_BOOL:
            return v->boolVal != VARIANT_FALSE ? "True" : "False";
        case VT_R8:
            std::snprintf(buffer, sizeof buffer, "%.15g", v->dblVal);
            return buffer;
        case VT_R4:
            std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(v->fltVal));
            return buffer;
        case VT_I1:
            return std::to_string(static_cast<int>(v->cVal));
        case VT_UI1:
            return std::to_string(v->bVal);
        case VT_I2:
            return std::to_string(v->iVal);
        case VT_UI2:
            return std::to_string(v->uiVal);
        case VT_I4:
        case VT_INT:
        case VT_ERROR:
            return std::to_string(v->lVal);
        case VT_UI4:
        case VT_UINT:
            return std::to_string(v->ulVal);
        case VT_I8:
            return std::to_string(v->llVal);
        case VT_UI8:
            return std::to_string(v->ullVal);
        case VT_EMPTY:
            return "Empty";
        case VT_NULL:
            return "Null";
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return v->punkVal != nullptr ? "Object" : "Nothing";
        default:
            return "?";
    }
}

// The sink: IDispatch (and the source interface) whose every event is printed.
class EventPrinter final : public IDispatch {
  public:
    EventPrinter(CComPtr<ITypeInfo> source, const IID& iid)
        : source_(std::move(source)), iid_(iid) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != iid_)
            return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0)
            std::unique_ptr<EventPrinter>(this).reset();
        return left;
    }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        *info = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        return CComPtr<ITypeInfo>(source_).CopyTo(info);
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return source_->GetIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        BSTR name = nullptr;
        UINT got = 0;
        source_->GetNames(member, &name, 1, &got);
        std::string line = "event ";
        line += got == 1 ? Narrow(name, SysStringLen(name)) : "#" + std::to_string(member);
        SysFreeString(name);
        line += "(";
        // The arguments come last first.
        for (UINT i = params != nullptr ? params->cArgs : 0; i-- > 0;) {
            line += EventText(params->rgvarg[i]);
            if (i != 0)
                line += ", ";
        }
        line += ")\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        return S_OK;
    }

  private:
    CComPtr<ITypeInfo> source_;
    IID iid_;
    std::atomic<ULONG> refs_{0};
};

// The [default, source] interface of the coclass `clsid` in `library`.
HRESULT DefaultSource(ITypeLib& library, const CLSID& clsid, CComPtr<ITypeInfo>& source, IID& iid) {
    CComPtr<ITypeInfo> coclass;
    HRESULT hr = library.GetTypeInfoOfGuid(clsid, &coclass);
    if (FAILED(hr))
        return hr;
    TYPEATTR* attr = nullptr;
    if (FAILED(hr = coclass->GetTypeAttr(&attr)))
        return hr;
    UINT count = attr->cImplTypes;
    coclass->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) ||
            (flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) !=
                (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE) ||
            FAILED(coclass->GetRefTypeOfImplType(i, &ref)) ||
            FAILED(coclass->GetRefTypeInfo(ref, &source)))
            continue;
        if (FAILED(hr = source->GetTypeAttr(&attr)))
            return hr;
        iid = attr->guid;
        source->ReleaseTypeAttr(attr);
        return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
}

}  // namespace

HRESULT EventSubscription::subscribe(IDispatch& object, const CLSID& clsid, std::string& problem) {
    CComPtr<ITypeInfo> info;
    CComPtr<ITypeLib> library;
    UINT index = 0;
    HRESULT hr = object.GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
    if (SUCCEEDED(hr))
        hr = info->GetContainingTypeLib(&library, &index);
    if (FAILED(hr)) {
        problem = "the object's type library is not at hand";
        return hr;
    }
    CComPtr<ITypeInfo> source;
    IID iid{};
    if (FAILED(hr = DefaultSource(*library, clsid, source, iid))) {
        problem = "the class has no default source interface";
        return hr;
    }
    CComPtr<IConnectionPointContainer> container;
    hr = object.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    if (SUCCEEDED(hr))
        hr = container->FindConnectionPoint(iid, &point_);
    if (FAILED(hr)) {
        problem = "the object offers no connection point for its events";
        return hr;
    }
    sink_ = std::make_unique<EventPrinter>(source, iid).release();  // its count starts here
    hr = point_->Advise(sink_, &cookie_);
    if (FAILED(hr)) {
        problem = "the object refused the sink";
        point_.Release();
    }
    return hr;
}

EventSubscription::~EventSubscription() {
    if (point_ != nullptr && cookie_ != 0)
        point_->Unadvise(cookie_);
}

}  // namespace comrt_tool
