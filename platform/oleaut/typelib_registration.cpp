#include "platform/oleaut/typelib_registration.h"

#include <cctype>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/bstr.h"
#include "platform/base/com_ptr.h"
#include "platform/base/utf8_text.h"
#include "platform/oleaut/typelib_load.h"
#include "platform/registry/registry.h"

namespace {

constexpr const char* classes = "Software\\Classes\\";

std::string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

std::string version_text(WORD major, WORD minor) {
    return hex(major) + "." + hex(minor);
}

const char* platform_key(SYSKIND syskind) {
    return syskind == SYS_WIN32 ? "win32" : "win64";
}

std::string library_key(REFGUID libid) {
    return "TypeLib\\" + guid_to_string(libid);
}

// Where a registration goes: the machine's or the user's classes.
struct Scope {
    HKEY root;
    std::string path(const std::string& below) const { return classes + below; }
};
Scope machine_scope() {
    return {HKEY_LOCAL_MACHINE};
}
Scope user_scope() {
    return {HKEY_CURRENT_USER};
}

std::vector<std::string> subkeys(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    CRegKey key;
    if (key.Open(root, path.c_str(), KEY_READ) != static_cast<LSTATUS>(ERROR_SUCCESS))
        return names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            static_cast<LSTATUS>(ERROR_SUCCESS))
            break;
        names.emplace_back(name, length);
    }
    return names;
}

struct RegistryFailure {};

// Registry key names compare without regard to ASCII case.
bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

class Writer {
  public:
    explicit Writer(Scope scope) : scope_(scope) {}
    void set(const std::string& key, const std::string& name, const std::string& value) {
        if (comrt::reg_set_string(scope_.root, scope_.path(key), name, value) !=
            static_cast<LSTATUS>(ERROR_SUCCESS))
            throw RegistryFailure{};
    }

  private:
    Scope scope_;
};

// Owns a TLIBATTR or TYPEATTR handed out by a library or type info.
struct LibAttr {
    ITypeLib* lib;
    TLIBATTR* attr = nullptr;
    ~LibAttr() {
        if (attr)
            lib->ReleaseTLibAttr(attr);
    }
};
struct TypeAttr {
    ITypeInfo* info;
    TYPEATTR* attr = nullptr;
    ~TypeAttr() {
        if (attr)
            info->ReleaseTypeAttr(attr);
    }
};

std::string text_of(BSTR text) {
    return comrt::utf16_to_utf8(std::u16string_view(text ? text : u"", SysStringLen(text)));
}

HRESULT register_in(Scope scope, ITypeLib* lib, LPCOLESTR full_path, LPCOLESTR help_dir) {
    if (lib == nullptr || full_path == nullptr || *full_path == 0)
        return E_INVALIDARG;
    try {
        LibAttr la{lib};
        if (HRESULT hr = lib->GetLibAttr(&la.attr); FAILED(hr))
            return hr;
        const TLIBATTR& a = *la.attr;
        BSTR raw_name = nullptr, raw_doc = nullptr;
        if (HRESULT hr = lib->GetDocumentation(-1, &raw_name, &raw_doc, nullptr, nullptr);
            FAILED(hr))
            return hr;
        std::string name = text_of(raw_name), doc = text_of(raw_doc);
        SysFreeString(raw_name);
        SysFreeString(raw_doc);

        const std::string libid = guid_to_string(a.guid);
        const std::string version = version_text(a.wMajorVerNum, a.wMinorVerNum);
        const std::string base = library_key(a.guid) + "\\" + version;
        Writer w(scope);
        w.set(base, "", doc.empty() ? name : doc);
        w.set(base + "\\FLAGS", "", std::to_string(a.wLibFlags & ~LIBFLAG_FHASDISKIMAGE));
        w.set(base + "\\HELPDIR", "", help_dir ? comrt::utf16_to_utf8(help_dir) : "");
        w.set(base + "\\" + hex(a.lcid) + "\\" + platform_key(a.syskind), "",
              comrt::utf16_to_utf8(full_path));

        for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
            CComPtr<ITypeInfo> info;
            if (HRESULT hr = lib->GetTypeInfo(i, &info); FAILED(hr))
                return hr;
            TypeAttr ta{info};
            if (HRESULT hr = info->GetTypeAttr(&ta.attr); FAILED(hr))
                return hr;
            bool marshalled_by_library =
                ta.attr->typekind == TKIND_DISPATCH ||
                (ta.attr->typekind == TKIND_INTERFACE &&
                 (ta.attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)));
            if (!marshalled_by_library)
                continue;
            BSTR raw_itf = nullptr;
            if (HRESULT hr =
                    lib->GetDocumentation(static_cast<INT>(i), &raw_itf, nullptr, nullptr, nullptr);
                FAILED(hr))
                return hr;
            std::string itf_name = text_of(raw_itf);
            SysFreeString(raw_itf);
            const std::string key = "Interface\\" + guid_to_string(ta.attr->guid);
            // As OLE does: a pure dispinterface is marshalled by Invoke alone.
            const bool pure_dispinterface =
                ta.attr->typekind == TKIND_DISPATCH && (ta.attr->wTypeFlags & TYPEFLAG_FDUAL) == 0;
            const std::string marshaller =
                guid_to_string(pure_dispinterface ? CLSID_PSDispatch : CLSID_PSOAInterface);
            w.set(key, "", itf_name);
            w.set(key + "\\ProxyStubClsid32", "", marshaller);
            w.set(key + "\\ProxyStubClsid", "", marshaller);
            w.set(key + "\\TypeLib", "", libid);
            w.set(key + "\\TypeLib", "Version", version);
        }
        return S_OK;
    } catch (const RegistryFailure&) {
        return TYPE_E_REGISTRYACCESS;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

bool same_guid_text(const std::optional<std::string>& text, REFGUID guid) {
    if (!text)
        return false;
    auto parsed = guid_from_string(*text);
    return parsed && *parsed == guid;
}

HRESULT unregister_in(Scope scope, REFGUID libid, WORD major, WORD minor, LCID lcid,
                      SYSKIND syskind) {
    try {
        const HKEY root = scope.root;
        const std::string lib_key = scope.path(library_key(libid));
        const std::string version = version_text(major, minor);
        const std::string version_key = lib_key + "\\" + version;
        const std::string lcid_key = version_key + "\\" + hex(lcid);
        if (!comrt::reg_key_exists(root, lcid_key + "\\" + platform_key(syskind)))
            return TYPE_E_REGISTRYACCESS;

        // The interfaces this library version registered, found by their TypeLib entries so
        // that they go even when the library file itself is gone.
        const std::string interfaces = scope.path("Interface");
        for (const std::string& iid : subkeys(root, interfaces)) {
            const std::string typelib = interfaces + "\\" + iid + "\\TypeLib";
            if (same_guid_text(comrt::reg_get_string(root, typelib), libid) &&
                comrt::reg_get_string(root, typelib, "Version") == version &&
                RegDeleteTreeA(root, (interfaces + "\\" + iid).c_str()) !=
                    static_cast<LSTATUS>(ERROR_SUCCESS))
                return TYPE_E_REGISTRYACCESS;
        }

        auto remove = [&](const std::string& key) {
            if (RegDeleteTreeA(root, key.c_str()) != static_cast<LSTATUS>(ERROR_SUCCESS))
                throw RegistryFailure{};
        };
        remove(lcid_key + "\\" + platform_key(syskind));
        if (subkeys(root, lcid_key).empty())
            remove(lcid_key);
        bool other_locales = false;
        for (const std::string& sub : subkeys(root, version_key))
            if (!same_name(sub, "FLAGS") && !same_name(sub, "HELPDIR"))
                other_locales = true;
        if (!other_locales)
            remove(version_key);
        if (subkeys(root, lib_key).empty())
            remove(lib_key);
        return S_OK;
    } catch (const RegistryFailure&) {
        return TYPE_E_REGISTRYACCESS;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

std::optional<unsigned> parse_hex(const std::string& text) {
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

// The version key to use: the exact one, else the greatest minor above the one asked for.
std::optional<std::string> pick_version(const std::string& lib_key, WORD major, WORD minor) {
    std::optional<std::string> best;
    unsigned best_minor = 0;
    for (const std::string& name : subkeys(HKEY_CLASSES_ROOT, lib_key)) {
        std::size_t dot = name.find('.');
        if (dot == std::string::npos)
            continue;
        auto maj = parse_hex(name.substr(0, dot)), min = parse_hex(name.substr(dot + 1));
        if (!maj || !min || *maj != major || *min < minor)
            continue;
        if (*min == minor)
            return name;
        if (!best || *min > best_minor)
            best = name, best_minor = *min;
    }
    return best;
}

std::optional<std::string> registered_path(REFGUID libid, WORD major, WORD minor, LCID lcid) {
    const std::string lib_key = library_key(libid);
    auto version = pick_version(lib_key, major, minor);
    if (!version)
        return std::nullopt;
    const std::string version_key = lib_key + "\\" + *version;
    for (LCID candidate : {lcid, lcid & 0x3FFu, LCID{0}}) {
        for (const char* platform : {"win64", "win32"}) {
            auto path = comrt::reg_get_string(
                HKEY_CLASSES_ROOT, version_key + "\\" + hex(candidate) + "\\" + platform);
            if (path && !path->empty())
                return path;
        }
    }
    return std::nullopt;
}

}  // namespace

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
    return register_in(machine_scope(), ptlib, szFullPath, szHelpDir);
}

HRESULT RegisterTypeLibForUser(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
    return register_in(user_scope(), ptlib, szFullPath, szHelpDir);
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                          SYSKIND syskind) {
    return unregister_in(machine_scope(), libID, wVerMajor, wVerMinor, lcid, syskind);
}

HRESULT UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid,
                                 SYSKIND syskind) {
    return unregister_in(user_scope(), libID, wMajorVerNum, wMinorVerNum, lcid, syskind);
}

HRESULT QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid,
                              BSTR* lpbstrPathName) {
    if (lpbstrPathName == nullptr)
        return E_INVALIDARG;
    *lpbstrPathName = nullptr;
    try {
        auto path = registered_path(guid, wMaj, wMin, lcid);
        if (!path)
            return TYPE_E_LIBNOTREGISTERED;
        std::u16string wide = comrt::utf8_to_utf16(*path);
        *lpbstrPathName = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        return *lpbstrPathName ? S_OK : E_OUTOFMEMORY;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                       ITypeLib** pptlib) {
    if (pptlib == nullptr)
        return E_INVALIDARG;
    *pptlib = nullptr;
    try {
        auto path = registered_path(rguid, wVerMajor, wVerMinor, lcid);
        if (!path)
            return TYPE_E_LIBNOTREGISTERED;
        return LoadTypeLib(comrt::utf8_to_utf16(*path).c_str(), pptlib);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
