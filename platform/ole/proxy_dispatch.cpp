// Interface proxies of dispinterfaces: IDispatch whose Invoke crosses to the exporter as it
// is (interface_stub), for sinks of events and IDispatch without type information.
#include "platform/ole/interface_stub.h"
#include "platform/ole/object_reference.h"
#include "platform/ole/remote_object.h"
#include "platform/ole/wire_interface.h"
#include "platform/oleaut/oleauto.h"

namespace comrt {
namespace {

using wire::Op;

class DispatchFacet final : public Facet, public IDispatch {
  public:
    DispatchFacet(RemoteObject& owner, const IID& iid, CComPtr<ITypeInfo> info)
        : owner_(owner), iid_(iid), info_(std::move(info)) {}
    void* pointer() override { return static_cast<IDispatch*>(this); }
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return owner_.query(riid, ppv); }
    ULONG AddRef() override { return owner_.add_ref(); }
    ULONG Release() override { return owner_.release(); }

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count == nullptr)
            return E_POINTER;
        *count = info_ != nullptr ? 1 : 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (index != 0 || info_ == nullptr)
            return DISP_E_BADINDEX;
        return CComPtr<ITypeInfo>(info_).CopyTo(out);
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (info_ == nullptr)
            return DISP_E_UNKNOWNNAME;
        return info_->GetIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(DISPID member, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        DISPPARAMS& args = params != nullptr ? *params : none;
        try {
            wire::Writer request;
            request.put(Op::Invoke);
            request.put<std::uint32_t>(owner_.id());
            request.put_guid(iid_);
            encode_invoke(request, owner_.connection(), member, flags, lcid, args,
                          result != nullptr);
            std::vector<unsigned char> reply;
            HRESULT hr = remote_exchange(owner_, request.bytes(), &reply);
            if (reply.empty())
                return hr;
            wire::Reader in(reply);
            return decode_invoke_reply(in, owner_.connection(), args, result, excep, arg_err);
        } catch (const MarshalFailure& failure) {
            return failure.hr;
        } catch (const wire::Malformed&) {
            return RPC_E_INVALID_DATAPACKET;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

  private:
    RemoteObject& owner_;
    IID iid_;
    CComPtr<ITypeInfo> info_;
};

}  // namespace

HRESULT make_dispatch_facet(RemoteObject& owner, REFIID iid, std::shared_ptr<Facet>& out) {
    CComPtr<ITypeInfo> info;
    if (iid != IID_IDispatch) {
        std::shared_ptr<const WireInterface> itf;
        if (SUCCEEDED(wire_interface(iid, itf)))
            info = itf->dispatch_info;
    }
    try {
        out = std::make_shared<DispatchFacet>(owner, iid, info);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace comrt
