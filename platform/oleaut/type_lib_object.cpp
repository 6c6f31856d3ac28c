#include "platform/oleaut/type_lib_object.h"

#include <atomic>
#include <memory>
#include <new>

#include "platform/base/bstr.h"
#include "platform/base/give_new.h"
#include "platform/base/shared_object.h"
#include "platform/oleaut/type_info_object.h"

namespace comrt {
namespace {

class TypeLib final : public ITypeLib, private SharedObject<TypeLib> {
    friend class SharedObject<TypeLib>;

  public:
    explicit TypeLib(std::shared_ptr<const TypeLibTables> tables) : tables_(std::move(tables)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return query_single(static_cast<ITypeLib*>(this), riid, ppv);
    }
    ULONG AddRef() override { return add_ref(); }
    ULONG Release() override { return release(); }

    UINT GetTypeInfoCount() override { return static_cast<UINT>(tables_->entries().size()); }
    HRESULT GetTypeInfo(UINT index, ITypeInfo** out) override {
        return create_type_info(this, tables_, index, TypeView::listed, out);
    }
    HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override {
        if (kind == nullptr)
            return E_INVALIDARG;
        if (index >= tables_->entries().size())
            return TYPE_E_ELEMENTNOTFOUND;
        *kind = tables_->entries()[index].kind;
        return S_OK;
    }
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) override {
        if (out == nullptr)
            return E_INVALIDARG;
        *out = nullptr;
        const auto& entries = tables_->entries();
        if (guid == GUID{})
            return TYPE_E_ELEMENTNOTFOUND;  // types without a GUID are not found by one
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].listed_attr.guid == guid)
                return create_type_info(this, tables_, i, TypeView::listed, out);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetLibAttr(TLIBATTR** out) override {
        return give_new<TLIBATTR>(out, tables_->lib_attr());  // ReleaseTLibAttr frees it
    }
    HRESULT GetTypeComp(ITypeComp** out) override {
        if (out != nullptr)
            *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* context,
                             BSTR* help_file) override {
        const std::u16string *found_name, *found_doc;
        DWORD found_context = 0;
        if (index == -1) {
            found_name = &tables_->name();
            found_doc = &tables_->help();
            found_context = tables_->model().help_context;
        } else if (index >= 0 && static_cast<std::size_t>(index) < tables_->entries().size()) {
            found_name = &tables_->entries()[index].name;
            found_doc = &tables_->entries()[index].help;
            found_context = tables_->model().types[static_cast<std::size_t>(index)].help_context;
        } else {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        if (context != nullptr)
            *context = found_context;
        BSTR n = nullptr, d = nullptr, f = nullptr;
        const std::u16string& file = tables_->help_file();
        if (help_file != nullptr && !file.empty() &&
            (f = SysAllocStringLen(file.data(), static_cast<UINT>(file.size()))) == nullptr)
            return E_OUTOFMEMORY;
        if (name != nullptr &&
            (n = SysAllocStringLen(found_name->data(), static_cast<UINT>(found_name->size()))) ==
                nullptr) {
            SysFreeString(f);
            return E_OUTOFMEMORY;
        }
        if (doc != nullptr && !found_doc->empty() &&
            (d = SysAllocStringLen(found_doc->data(), static_cast<UINT>(found_doc->size()))) ==
                nullptr) {
            SysFreeString(n);
            SysFreeString(f);
            return E_OUTOFMEMORY;
        }
        if (help_file != nullptr)
            *help_file = f;
        if (name != nullptr)
            *name = n;
        if (doc != nullptr)
            *doc = d;
        return S_OK;
    }
    // On a match the buffer receives the name as the library spells it.
    HRESULT IsName(LPOLESTR buffer, ULONG, BOOL* found) override {
        if (buffer == nullptr || found == nullptr)
            return E_INVALIDARG;
        *found = FALSE;
        std::u16string_view wanted(buffer);
        auto match = [&](const std::u16string& name) {
            if (!names_equal(name, wanted))
                return false;
            name.copy(buffer, name.size());
            *found = TRUE;
            return true;
        };
        for (const TypeEntry& e : tables_->entries()) {
            if (match(e.name))
                return S_OK;
            for (const auto& f : e.funcs) {
                if (match(f->name))
                    return S_OK;
                for (const auto& p : f->param_names)
                    if (match(p))
                        return S_OK;
            }
            for (const auto& v : e.vars)
                if (match(v->name))
                    return S_OK;
        }
        return S_OK;
    }
    HRESULT FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT* found) override {
        if (found != nullptr)
            *found = 0;
        return E_NOTIMPL;
    }
    void ReleaseTLibAttr(TLIBATTR* attr) override { std::unique_ptr<TLIBATTR> owned(attr); }

  private:
    std::shared_ptr<const TypeLibTables> tables_;  // immutable: shared without locks
};

}  // namespace

HRESULT create_type_lib(TypeLibModel model, ITypeLib** out) {
    if (out == nullptr)
        return E_INVALIDARG;
    *out = nullptr;
    if (HRESULT hr = validate_typelib_model(model); FAILED(hr))
        return hr;
    try {
        auto tables = std::make_shared<const TypeLibTables>(std::move(model));
        *out = std::make_unique<TypeLib>(std::move(tables)).release();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace comrt
