#pragma once
// Owners of what OLE Automation hands out to tlbdump: BSTRs and the description blocks that
// go back to the ITypeInfo or ITypeLib that gave them.
#include <memory>
#include <utility>

#include "platform/win32.h"

namespace tlbdump {

class Bstr {
  public:
    Bstr() = default;
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(text_); }
    BSTR* Out() {
        SysFreeString(std::exchange(text_, nullptr));
        return &text_;
    }
    BSTR Get() const { return text_; }

  private:
    BSTR text_ = nullptr;
};

struct TypeAttrRelease {
    ITypeInfo* info;
    void operator()(TYPEATTR* attr) const { info->ReleaseTypeAttr(attr); }
};
struct FuncDescRelease {
    ITypeInfo* info;
    void operator()(FUNCDESC* desc) const { info->ReleaseFuncDesc(desc); }
};
struct VarDescRelease {
    ITypeInfo* info;
    void operator()(VARDESC* desc) const { info->ReleaseVarDesc(desc); }
};
struct LibAttrRelease {
    ITypeLib* lib;
    void operator()(TLIBATTR* attr) const { lib->ReleaseTLibAttr(attr); }
};

using TypeAttrPtr = std::unique_ptr<TYPEATTR, TypeAttrRelease>;
using FuncDescPtr = std::unique_ptr<FUNCDESC, FuncDescRelease>;
using VarDescPtr = std::unique_ptr<VARDESC, VarDescRelease>;
using LibAttrPtr = std::unique_ptr<TLIBATTR, LibAttrRelease>;

// The attributes of `info`, or null with `*hr` set.
inline TypeAttrPtr GetTypeAttr(ITypeInfo* info, HRESULT* hr) {
    TYPEATTR* attr = nullptr;
    *hr = info->GetTypeAttr(&attr);
    return TypeAttrPtr(SUCCEEDED(*hr) ? attr : nullptr, TypeAttrRelease{info});
}

}  // namespace tlbdump
