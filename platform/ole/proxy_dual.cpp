// Proxies of dual interfaces: a vtable built at run time from the interface's type
// information. IUnknown and IDispatch slots are answered on the client (IDispatch through the
// type information, which calls back into the vtable); every method slot is a libffi closure
// that sends the call to the server and waits for its reply.
#include <ffi.h>

#include <cstring>
#include <utility>

#include "platform/base/bstr.h"
#include "platform/ole/call_frame.h"
#include "platform/ole/object_reference.h"
#include "platform/ole/process_state.h"
#include "platform/ole/remote_object.h"
#include "platform/ole/wire_interface.h"
#include "platform/oleaut/error_info.h"
#include "platform/oleaut/ffi_types.h"

namespace comrt {

// One method slot of a proxy vtable: the libffi closure that turns the call into a request.
struct ProxyMethod {
    IID iid;
    const WireMethod* method;
    ffi_cif cif;
    std::vector<ffi_type*> arg_types;
    ffi_closure* closure = nullptr;
    void* code = nullptr;
};

// One per interface per process: the vtable and the closures behind its method slots.
struct ProxyVtable {
    std::shared_ptr<const WireInterface> itf;
    std::vector<std::unique_ptr<ProxyMethod>> methods;
    std::vector<void*> slots;
    ~ProxyVtable() {
        for (auto& m : methods)
            if (m->closure != nullptr)
                ffi_closure_free(m->closure);
    }
};

namespace {

using wire::Op;

class DualFacet;

// What a COM caller holds: an object whose first word is the vtable pointer.
struct ProxyInstance {
    void* const* vptr;
    DualFacet* facet;
};

class DualFacet final : public Facet {
  public:
    DualFacet(RemoteObject& owner, std::shared_ptr<const ProxyVtable> vtable)
        : owner_(owner), vtable_(std::move(vtable)) {
        instance_.vptr = vtable_->slots.data();
        instance_.facet = this;
    }
    void* pointer() override { return &instance_; }
    RemoteObject& owner() { return owner_; }
    ITypeInfo* type_info() { return vtable_->itf->dispatch_info; }
    HRESULT call(const ProxyMethod& m, void** args);

  private:
    RemoteObject& owner_;
    std::shared_ptr<const ProxyVtable> vtable_;
    ProxyInstance instance_{};
};

DualFacet& facet_of(void* self) {
    return *static_cast<ProxyInstance*>(self)->facet;
}

HRESULT proxy_query_interface(void* self, REFIID riid, void** ppv) {
    return facet_of(self).owner().query(riid, ppv);
}
ULONG proxy_add_ref(void* self) {
    return facet_of(self).owner().add_ref();
}
ULONG proxy_release(void* self) {
    return facet_of(self).owner().release();
}
HRESULT proxy_get_type_info_count(void*, UINT* count) {
    if (count == nullptr)
        return E_POINTER;
    *count = 1;
    return S_OK;
}
HRESULT proxy_get_type_info(void* self, UINT index, LCID, ITypeInfo** info) {
    if (info == nullptr)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    *info = facet_of(self).type_info();
    (*info)->AddRef();
    return S_OK;
}
HRESULT proxy_get_ids_of_names(void* self, REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    return facet_of(self).type_info()->GetIDsOfNames(names, count, ids);
}
// Set when a method call of this thread failed before the server replied. Invoke runs here,
// on the client, over the vtable; where Invoke itself crosses to the server, such a failure
// is Invoke's own result, not an exception of the method, and so it is here too.
thread_local HRESULT t_transport_failure = S_OK;

HRESULT proxy_invoke(void* self, DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                     VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
    t_transport_failure = S_OK;
    HRESULT hr =
        facet_of(self).type_info()->Invoke(self, member, flags, params, result, excep, arg_err);
    const HRESULT transport = std::exchange(t_transport_failure, S_OK);
    if (hr != DISP_E_EXCEPTION || SUCCEEDED(transport))
        return hr;
    if (excep != nullptr) {
        SysFreeString(excep->bstrSource);
        SysFreeString(excep->bstrDescription);
        SysFreeString(excep->bstrHelpFile);
        *excep = EXCEPINFO{};
    }
    return transport;
}

// A slot no description covers; the caller's arguments are not looked at.
HRESULT proxy_not_described(void*) {
    return E_NOTIMPL;
}

void proxy_method_entry(ffi_cif*, void* ret, void** args, void* user) {
    auto* m = static_cast<ProxyMethod*>(user);
    void* self = *static_cast<void**>(args[0]);
    HRESULT hr = facet_of(self).call(*m, args + 1);
    *static_cast<ffi_sarg*>(ret) = hr;
}

ffi_type* ffi_type_of(const WireParam& p) {
    return p.by_ref ? &ffi_type_pointer : ffi_type_of_value(p.vt);
}

HRESULT build_vtable(std::shared_ptr<const WireInterface> itf,
                     std::shared_ptr<const ProxyVtable>& out) {
    auto vt = std::make_shared<ProxyVtable>();
    vt->itf = itf;
    USHORT last = vtable_slot_of_first_method - 1;
    for (const auto& m : itf->methods)
        last = std::max(last, m.slot);
    vt->slots.assign(last + 1u, nullptr);
    vt->slots[0] = reinterpret_cast<void*>(&proxy_query_interface);
    vt->slots[1] = reinterpret_cast<void*>(&proxy_add_ref);
    vt->slots[2] = reinterpret_cast<void*>(&proxy_release);
    vt->slots[3] = reinterpret_cast<void*>(&proxy_get_type_info_count);
    vt->slots[4] = reinterpret_cast<void*>(&proxy_get_type_info);
    vt->slots[5] = reinterpret_cast<void*>(&proxy_get_ids_of_names);
    vt->slots[6] = reinterpret_cast<void*>(&proxy_invoke);
    if (itf->dispatch_info == nullptr) {
        // Not an IDispatch: slots 3-6 are the interface's own, and one not described fails.
        for (USHORT slot = 3; slot < vtable_slot_of_first_method; ++slot)
            vt->slots[slot] = reinterpret_cast<void*>(&proxy_not_described);
    }
    for (const auto& wm : itf->methods) {
        auto pm = std::make_unique<ProxyMethod>();
        pm->iid = itf->iid;
        pm->method = &wm;
        pm->arg_types.push_back(&ffi_type_pointer);  // this
        for (const auto& p : wm.params) {
            ffi_type* type = ffi_type_of(p);
            if (type == nullptr)
                return DISP_E_BADVARTYPE;
            pm->arg_types.push_back(type);
        }
        if (ffi_prep_cif(&pm->cif, FFI_DEFAULT_ABI, static_cast<unsigned>(pm->arg_types.size()),
                         &ffi_type_sint32, pm->arg_types.data()) != FFI_OK)
            return E_FAIL;
        pm->closure = static_cast<ffi_closure*>(ffi_closure_alloc(sizeof(ffi_closure), &pm->code));
        if (pm->closure == nullptr)
            return E_OUTOFMEMORY;
        if (ffi_prep_closure_loc(pm->closure, &pm->cif, &proxy_method_entry, pm.get(), pm->code) !=
            FFI_OK)
            return E_FAIL;
        vt->slots[wm.slot] = pm->code;
        vt->methods.push_back(std::move(pm));
    }
    out = vt;
    return S_OK;
}

}  // namespace

HRESULT DualFacet::call(const ProxyMethod& m, void** args) {
    const WireMethod& method = *m.method;
    std::vector<unsigned char> reply;
    HRESULT hr;
    try {
        wire::Writer request;
        request.put(Op::Call);
        request.put<std::uint32_t>(owner_.id());
        request.put_guid(m.iid);
        request.put<USHORT>(method.slot);
        encode_arguments(request, owner_.connection(), method, args);
        hr = remote_exchange(owner_, request.bytes(), &reply);
        if (hr == RPC_E_DISCONNECTED && reply.empty())
            return t_transport_failure = hr;
        wire::Reader in(reply);
        hr = decode_results(in, owner_.connection(), method, args);
    } catch (const wire::Malformed&) {
        return t_transport_failure = RPC_E_INVALID_DATAPACKET;
    } catch (const MarshalFailure& failure) {
        return failure.hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return hr;
}

HRESULT make_dual_facet(RemoteObject& owner, REFIID iid, std::shared_ptr<Facet>& out) {
    std::shared_ptr<const ProxyVtable> vtable;
    bool by_invoke = false;
    HRESULT hr = process_state().proxy_vtables.get(
        iid, vtable, [&](std::shared_ptr<const ProxyVtable>& made) {
            std::shared_ptr<const WireInterface> itf;
            HRESULT found = wire_interface(iid, itf);
            if (FAILED(found))
                return found == REGDB_E_IIDNOTREG ? E_NOINTERFACE : found;
            by_invoke = itf->by_invoke;
            return by_invoke ? S_FALSE : build_vtable(itf, made);
        });
    if (by_invoke)
        return make_dispatch_facet(owner, iid, out);
    if (FAILED(hr))
        return hr;
    out = std::make_shared<DualFacet>(owner, vtable);
    return S_OK;
}

}  // namespace comrt
