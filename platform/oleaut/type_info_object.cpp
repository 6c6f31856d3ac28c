#include "platform/oleaut/type_info_object.h"

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

#include "platform/base/bstr.h"
#include "platform/base/com_ptr.h"
#include "platform/base/give_new.h"
#include "platform/base/shared_object.h"
#include "platform/oleaut/typeinfo_invoke.h"
#include "platform/oleaut/typelib_stdole.h"

namespace comrt {
namespace {

// Copies `text` into *out (null for empty when `null_if_empty`); out may be null.
HRESULT give_text(const std::u16string& text, BSTR* out, bool null_if_empty = false) {
    if (out == nullptr)
        return S_OK;
    *out = nullptr;
    if (text.empty() && null_if_empty)
        return S_OK;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

class TypeInfo final : public ITypeInfo, private SharedObject<TypeInfo> {
    friend class SharedObject<TypeInfo>;

  public:
    TypeInfo(ITypeLib* lib, std::shared_ptr<const TypeLibTables> tables, std::size_t entry,
             TypeView view)
        : lib_(lib), tables_(std::move(tables)), index_(entry), view_(view) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return query_single(static_cast<ITypeInfo*>(this), riid, ppv);
    }
    ULONG AddRef() override { return add_ref(); }
    ULONG Release() override { return release(); }

    HRESULT GetTypeAttr(TYPEATTR** pp) override {
        return give_new<TYPEATTR>(
            pp, view_ == TypeView::vtable ? *entry().vtable_attr : entry().listed_attr);
    }
    HRESULT GetTypeComp(ITypeComp** pp) override {
        if (pp != nullptr)
            *pp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetFuncDesc(UINT index, FUNCDESC** pp) override {
        if (pp == nullptr)
            return E_INVALIDARG;
        *pp = nullptr;
        if (index >= funcs().size())
            return TYPE_E_ELEMENTNOTFOUND;
        return give_new<FUNCDESC>(pp, desc_of(*funcs()[index]));
    }
    HRESULT GetVarDesc(UINT index, VARDESC** pp) override {
        if (pp == nullptr)
            return E_INVALIDARG;
        *pp = nullptr;
        if (index >= entry().vars.size())
            return TYPE_E_ELEMENTNOTFOUND;
        return give_new<VARDESC>(pp, entry().vars[index]->desc);
    }
    HRESULT GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) override;
    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* out) override;
    HRESULT GetImplTypeFlags(UINT index, INT* out) override;
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
    HRESULT Invoke(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepinfo, UINT* arg_err) override {
        if (entry().kind != TKIND_DISPATCH && entry().kind != TKIND_INTERFACE)
            return DISP_E_MEMBERNOTFOUND;
        auto at = tables_->find_invocable_func(index_, memid, flags);
        if (!at)
            return DISP_E_MEMBERNOTFOUND;
        const TlbFunc model =
            tables_->invocable_view(tables_->model().types[at->type].funcs[at->func]);
        const FuncTable& table = *tables_->entries()[at->type].funcs[at->func];
        return invoke_method(model, table, instance, flags, params, result, excepinfo, arg_err);
    }
    HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* context,
                             BSTR* help_file) override;
    HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR* dll, BSTR* name, WORD* ordinal) override {
        if (dll)
            *dll = nullptr;
        if (name)
            *name = nullptr;
        if (ordinal)
            *ordinal = 0;
        return E_NOTIMPL;
    }
    HRESULT GetRefTypeInfo(HREFTYPE href, ITypeInfo** out) override;
    HRESULT AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) override {
        if (ppv)
            *ppv = nullptr;
        return E_NOTIMPL;
    }
    HRESULT CreateInstance(IUnknown*, REFIID, PVOID* ppv) override {
        if (ppv)
            *ppv = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetMops(MEMBERID, BSTR* mops) override {
        if (mops)
            *mops = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override {
        if (lib == nullptr)
            return E_INVALIDARG;
        if (index != nullptr)
            *index = static_cast<UINT>(index_);
        return lib_.CopyTo(lib);
    }
    void ReleaseTypeAttr(TYPEATTR* p) override { std::unique_ptr<TYPEATTR> owned(p); }
    void ReleaseFuncDesc(FUNCDESC* p) override { std::unique_ptr<FUNCDESC> owned(p); }
    void ReleaseVarDesc(VARDESC* p) override { std::unique_ptr<VARDESC> owned(p); }

  private:
    const TypeEntry& entry() const { return tables_->entries()[index_]; }
    const TlbTypeInfo& type() const { return tables_->model().types[index_]; }
    bool dispatch_view() const {
        return entry().kind == TKIND_DISPATCH && view_ == TypeView::listed;
    }
    const FUNCDESC& desc_of(const FuncTable& f) const {
        return dispatch_view() ? f.dispatch_view : f.stored_view;
    }
    const std::vector<const FuncTable*>& funcs() const {
        return view_ == TypeView::listed ? entry().listed_funcs : entry().own_funcs;
    }
    const FuncTable* find_func(MEMBERID memid) const {
        for (const FuncTable* f : funcs())
            if (f->stored_view.memid == memid)
                return f;
        return nullptr;
    }
    // The names of a method's parameters as this view shows them, up to the first without
    // one (a property put's value has none).
    std::vector<const std::u16string*> param_names(const FuncTable& f) const {
        std::vector<const std::u16string*> names;
        auto add = [&](std::size_t i) {
            if (f.param_names[i].empty())
                return false;
            names.push_back(&f.param_names[i]);
            return true;
        };
        if (dispatch_view()) {
            for (std::size_t i : f.dispatch_params)
                if (!add(i))
                    break;
        } else {
            for (std::size_t i = 0; i < f.param_names.size(); ++i)
                if (!add(i))
                    break;
        }
        return names;
    }
    // A TKIND_INTERFACE view names its base with bit 1 set, as OLE does: the base's
    // TKIND_INTERFACE view, when the base is a dual interface.
    bool interface_view() const {
        return view_ == TypeView::vtable || entry().kind == TKIND_INTERFACE;
    }

    CComPtr<ITypeLib> lib_;
    std::shared_ptr<const TypeLibTables> tables_;  // immutable: shared without locks
    std::size_t index_;
    TypeView view_;
};

HRESULT TypeInfo::GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) {
    if (names == nullptr || count == nullptr)
        return E_INVALIDARG;
    *count = 0;
    std::vector<const std::u16string*> found;
    if (const FuncTable* f = find_func(memid)) {
        found.push_back(&f->name);
        for (const std::u16string* n : param_names(*f))
            found.push_back(n);
    } else {
        for (const auto& v : entry().vars)
            if (v->desc.memid == memid)
                found.push_back(&v->name);
        if (found.empty())
            return TYPE_E_ELEMENTNOTFOUND;
    }
    UINT n = std::min<UINT>(max, static_cast<UINT>(found.size()));
    for (UINT i = 0; i < n; ++i) {
        if (FAILED(give_text(*found[i], &names[i]))) {
            for (UINT k = 0; k < i; ++k)
                SysFreeString(std::exchange(names[k], nullptr));
            return E_OUTOFMEMORY;
        }
    }
    *count = n;
    return S_OK;
}

HRESULT TypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* out) {
    if (out == nullptr)
        return E_INVALIDARG;
    const TlbTypeInfo& t = type();
    if (index == static_cast<UINT>(-1)) {  // a dual interface's other view
        if (!is_dual(t))
            return TYPE_E_ELEMENTNOTFOUND;
        *out = href_dual_partner;
        return S_OK;
    }
    // Every dispatch view derives from IDispatch, whatever its vtable view derives from.
    if (index == 0 && dispatch_view() && tables_->model().idispatch) {
        *out = tables_->href_of(*tables_->model().idispatch);
        return S_OK;
    }
    if (index >= t.impls.size())
        return TYPE_E_ELEMENTNOTFOUND;
    *out = tables_->href_of(t.impls[index].ref) | (interface_view() ? 2 : 0);
    return S_OK;
}

HRESULT TypeInfo::GetImplTypeFlags(UINT index, INT* out) {
    if (out == nullptr)
        return E_INVALIDARG;
    const TlbTypeInfo& t = type();
    const TYPEATTR& attr = view_ == TypeView::vtable ? *entry().vtable_attr : entry().listed_attr;
    if (index >= attr.cImplTypes)
        return TYPE_E_ELEMENTNOTFOUND;
    *out = t.kind == TKIND_COCLASS ? t.impls[index].flags : 0;
    return S_OK;
}

HRESULT TypeInfo::GetRefTypeInfo(HREFTYPE href, ITypeInfo** out) {
    if (out == nullptr)
        return E_INVALIDARG;
    *out = nullptr;
    if (href == href_dual_partner) {
        if (!is_dual(type()))
            return TYPE_E_ELEMENTNOTFOUND;
        return create_type_info(lib_, tables_, index_,
                                view_ == TypeView::listed ? TypeView::vtable : TypeView::listed,
                                out);
    }
    if (href >= href_stdole_base && href < 2 * href_stdole_base) {  // named by inherited methods
        CComPtr<ITypeLib> stdole;
        if (HRESULT hr = stdole_type_lib(&stdole); FAILED(hr))
            return hr;
        const HREFTYPE offset = href - href_stdole_base;
        if (offset % 0x64 != 0)
            return TYPE_E_ELEMENTNOTFOUND;
        return stdole->GetTypeInfo(offset / 0x64, out);
    }
    const bool as_interface = (href & 2) != 0;
    auto target = tables_->resolve(href & ~HREFTYPE{2});
    if (!target)
        return TYPE_E_ELEMENTNOTFOUND;
    if (!target->imported) {
        const bool dual = is_dual(tables_->model().types[target->index]);
        return create_type_info(lib_, tables_, target->index,
                                as_interface && dual ? TypeView::vtable : TypeView::listed, out);
    }
    return imported_type_info(tables_->model().imports[target->index], out);
}

HRESULT TypeInfo::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
    if (names == nullptr || ids == nullptr || count == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    if (names[0] == nullptr)
        return DISP_E_UNKNOWNNAME;
    std::u16string_view member(names[0]);
    for (const FuncTable* f : funcs()) {
        if (!names_equal(f->name, member))
            continue;
        ids[0] = f->stored_view.memid;
        HRESULT hr = S_OK;
        const auto params = param_names(*f);
        for (UINT k = 1; k < count; ++k) {
            std::u16string_view wanted(names[k] ? names[k] : u"");
            std::size_t p = 0;
            while (p < params.size() && !names_equal(*params[p], wanted))
                ++p;
            if (p < params.size())
                ids[k] = static_cast<MEMBERID>(p);
            else
                hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    for (const auto& v : entry().vars) {
        if (names_equal(v->name, member)) {
            ids[0] = v->desc.memid;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT TypeInfo::GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* context,
                                   BSTR* help_file) {
    const std::u16string* found_name = nullptr;
    const std::u16string* found_doc = nullptr;
    DWORD found_context = 0;
    if (memid == MEMBERID_NIL) {
        found_name = &entry().name;
        found_doc = &entry().help;
        found_context = type().help_context;
    } else if (const FuncTable* f = find_func(memid)) {
        found_name = &f->name;
        found_doc = &f->help;
        found_context = f->help_context;
    } else {
        for (std::size_t k = 0; k < entry().vars.size() && found_name == nullptr; ++k) {
            if (entry().vars[k]->desc.memid != memid)
                continue;
            found_name = &entry().vars[k]->name;
            found_doc = &entry().vars[k]->help;
            found_context = type().vars[k].help_context;
        }
        if (found_name == nullptr)
            return TYPE_E_ELEMENTNOTFOUND;
    }
    if (context != nullptr)
        *context = found_context;
    if (help_file != nullptr)
        *help_file = nullptr;
    if (const std::u16string& file = tables_->help_file(); help_file != nullptr && !file.empty()) {
        *help_file = SysAllocStringLen(file.data(), static_cast<UINT>(file.size()));
        if (*help_file == nullptr)
            return E_OUTOFMEMORY;
    }
    if (doc != nullptr)
        *doc = nullptr;
    if (FAILED(give_text(*found_name, name)) || FAILED(give_text(*found_doc, doc, true))) {
        if (name != nullptr)
            SysFreeString(std::exchange(*name, nullptr));
        if (help_file != nullptr)
            SysFreeString(std::exchange(*help_file, nullptr));
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace

HRESULT create_type_info(ITypeLib* lib, std::shared_ptr<const TypeLibTables> tables,
                         std::size_t entry, TypeView view, ITypeInfo** out) {
    if (out == nullptr)
        return E_INVALIDARG;
    *out = nullptr;
    if (tables == nullptr || entry >= tables->entries().size() ||
        (view == TypeView::vtable && !tables->entries()[entry].vtable_attr))
        return TYPE_E_ELEMENTNOTFOUND;
    return give_new<TypeInfo>(out, lib, std::move(tables), entry, view);
}

}  // namespace comrt
