#include "server/host/server_registration.h"

#include <filesystem>
#include <map>
#include <string>

#include "platform/com/registrar.h"
#include "platform/com/resource_reader.h"
#include "platform/com/utf8_text.h"
#include "server/host/kiv_module.h"
#include "server/interface/iprime.h"

namespace {

// Windows' MAX_PATH: the module path must fit a buffer of this size with its terminator.
constexpr std::size_t max_path = 260;

comrt::registrar_scope ScopeOf(RegistrationScope scope) {
    return scope == RegistrationScope::PerUser ? comrt::registrar_scope::user
                                               : comrt::registrar_scope::machine;
}

HRESULT ModulePath(std::string& path) {
    path = comrt::executable_path();
    if (path.empty())
        return E_FAIL;
    if (path.size() >= max_path)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    return S_OK;
}

// Applies or removes registration script `id` (101: AppID, 102: class Prime).
HRESULT UpdateScript(int id, bool bRegister, RegistrationScope scope) {
    std::string path;
    HRESULT hr = ModulePath(path);
    if (FAILED(hr))
        return hr;
    auto script = comrt::read_resource(path, comrt::registry_section(id));
    if (!script)
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const std::map<std::string, std::string> replacements = {
        {"MODULE", "\"" + path + "\""},
        {"APPID", guid_to_string(APPID_kiv)},
    };
    return comrt::RegistrarUpdate(
        std::string_view(reinterpret_cast<const char*>(script->data()), script->size()),
        replacements, bRegister, ScopeOf(scope));
}

// The type library from the executable itself, else from the .tlb beside it; `loaded_from`
// is the path that worked.
HRESULT LoadModuleTypeLib(ITypeLib** library, std::string& loaded_from) {
    std::string path;
    HRESULT hr = ModulePath(path);
    if (FAILED(hr))
        return hr;
    // File names are UTF-8 on this platform, whatever the ANSI code page.
    std::u16string wide = comrt::utf8_to_utf16(path);
    hr = LoadTypeLib(wide.c_str(), library);
    if (SUCCEEDED(hr)) {
        loaded_from = path;
        return hr;
    }
    std::filesystem::path tlb(path);
    tlb.replace_extension(".tlb");
    std::u16string wide_tlb = comrt::utf8_to_utf16(tlb.string());
    hr = LoadTypeLib(wide_tlb.c_str(), library);
    if (SUCCEEDED(hr))
        loaded_from = tlb.string();
    return hr;
}

HRESULT RegisterClass(RegistrationScope scope) {
    HRESULT hr = UpdateScript(102, true, scope);
    if (FAILED(hr))
        return hr;
    CComPtr<ITypeLib> library;
    std::string path;
    hr = LoadModuleTypeLib(&library, path);
    if (FAILED(hr))
        return hr;
    std::u16string wide = comrt::utf8_to_utf16(path);
    return scope == RegistrationScope::PerUser
               ? RegisterTypeLibForUser(library, wide.c_str(), nullptr)
               : RegisterTypeLib(library, wide.c_str(), nullptr);
}

HRESULT UnregisterClass(RegistrationScope scope) {
    HRESULT hr = UpdateScript(102, false, scope);
    if (FAILED(hr))
        return hr;
    CComPtr<ITypeLib> library;
    std::string path;
    hr = LoadModuleTypeLib(&library, path);
    if (FAILED(hr))
        return hr;
    TLIBATTR* attr = nullptr;
    hr = library->GetLibAttr(&attr);
    if (FAILED(hr))
        return hr;
    TLIBATTR a = *attr;
    library->ReleaseTLibAttr(attr);
    return scope == RegistrationScope::PerUser
               ? UnRegisterTypeLibForUser(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind)
               : UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
}

}  // namespace

HRESULT RegisterServer(RegistrationScope scope) {
    HRESULT hr = UpdateScript(101, true, scope);
    if (FAILED(hr))
        return hr;
    return RegisterClass(scope);
}

HRESULT UnregisterServer(RegistrationScope scope) {
    HRESULT hr = UnregisterClass(scope);
    if (FAILED(hr))
        return hr;
    return UpdateScript(101, false, scope);
}
