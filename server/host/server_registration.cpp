#include "server/host/server_registration.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "platform/comrt_extensions.h"
#include "platform/win32.h"
#include "server/host/kiv_module.h"
#include "server/interface/iprime.h"

namespace {

// Windows' MAX_PATH: the module path must fit a buffer of this size with its terminator.
constexpr std::size_t max_path = 260;

comrt::registrar_scope ScopeOf(RegistrationScope scope) {
    return scope == RegistrationScope::PerUser ? comrt::registrar_scope::user
                                               : comrt::registrar_scope::machine;
}

// Text in UTF-16 and back: file names are UTF-8 on this platform, whatever the ANSI code page.
std::basic_string<OLECHAR> Utf16(std::string_view text) {
    if (text.empty())
        return {};
    std::basic_string<OLECHAR> wide(text.size(), OLESTR('\0'));  // never more units than bytes
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(units));
    return wide;
}

std::string Utf8(std::basic_string_view<OLECHAR> wide) {
    if (wide.empty())
        return {};
    std::string text(wide.size() * 3, '\0');  // at most three bytes per unit
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                            static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(static_cast<std::size_t>(bytes));
    return text;
}

// The registry form of a GUID: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string GuidText(REFGUID guid) {
    OLECHAR text[39] = {};
    const int units = StringFromGUID2(guid, text, 39);
    return Utf8(std::basic_string_view<OLECHAR>(text, units > 0 ? units - 1 : 0));
}

// The executable's path, whatever its length; FitsMaxPath decides whether it may register.
HRESULT ModulePath(std::string& path) {
    std::basic_string<OLECHAR> wide(max_path, OLESTR('\0'));
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
        if (length == 0)
            return E_FAIL;
        if (length < wide.size()) {
            wide.resize(length);
            break;
        }
        wide.resize(wide.size() * 2);  // truncated: ask again with room to spare
    }
    path = Utf8(wide);
    if (!FitsMaxPath(path))
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
        {"APPID", GuidText(APPID_kiv)},
        {"CLSID", GuidText(CLSID_Prime)},  // the contract's GUIDs come from kiv.idl
        {"LIBID", GuidText(LIBID_kivLib)},
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
    std::filesystem::path tlb(path);
    tlb.replace_extension(".tlb");
    for (const std::string& candidate : {path, tlb.string()}) {
        hr = LoadTypeLib(Utf16(candidate).c_str(), library);
        if (SUCCEEDED(hr)) {
            loaded_from = candidate;
            break;
        }
    }
    return hr;
}

// Whether the scope holds the library's registration (UnRegisterTypeLib fails without one).
bool TypeLibRegistered(RegistrationScope scope, const TLIBATTR& attr) {
    char version[32];
    std::snprintf(version, sizeof version, "%x.%x", attr.wMajorVerNum, attr.wMinorVerNum);
    const std::string key = "Software\\Classes\\TypeLib\\" + GuidText(attr.guid) + "\\" + version;
    HKEY opened = nullptr;
    const LSTATUS status =
        RegOpenKeyExA(scope == RegistrationScope::PerUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                      key.c_str(), 0, KEY_READ, &opened);
    if (status != static_cast<LSTATUS>(ERROR_SUCCESS))
        return status != static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);  // let the removal say why
    RegCloseKey(opened);
    return true;
}

// Applies or removes class Prime's script, then registers or removes its type library.
HRESULT UpdateClass(bool bRegister, RegistrationScope scope) {
    HRESULT hr = UpdateScript(102, bRegister, scope);
    if (FAILED(hr))
        return hr;
    CComPtr<ITypeLib> library;
    std::string path;
    hr = LoadModuleTypeLib(&library, path);
    if (FAILED(hr))
        return hr;
    if (bRegister) {
        std::basic_string<OLECHAR> wide = Utf16(path);
        return scope == RegistrationScope::PerUser
                   ? RegisterTypeLibForUser(library, wide.data(), nullptr)
                   : RegisterTypeLib(library, wide.data(), nullptr);
    }
    TLIBATTR* attr = nullptr;
    hr = library->GetLibAttr(&attr);
    if (FAILED(hr))
        return hr;
    TLIBATTR a = *attr;
    library->ReleaseTLibAttr(attr);
    if (!TypeLibRegistered(scope, a))
        return S_OK;  // nothing of ours to remove: unregistering twice is no failure
    return scope == RegistrationScope::PerUser
               ? UnRegisterTypeLibForUser(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind)
               : UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
}

HRESULT Register(RegistrationScope scope) {
    HRESULT hr = UpdateScript(101, true, scope);
    if (FAILED(hr))
        return hr;
    return UpdateClass(true, scope);
}

HRESULT Unregister(RegistrationScope scope) {
    HRESULT hr = UpdateClass(false, scope);
    if (FAILED(hr))
        return hr;
    return UpdateScript(101, false, scope);
}

// A damaged hive is the one failure the exit code cannot explain: say which file and where.
void ReportDamagedHives() {
    for (const std::string& report : comrt::damaged_hives())
        std::fprintf(stderr, "kiv: %s\n", report.c_str());
}

// Runs a whole registration action as one change of the scope's hive: the hive stays locked
// from the first read to the single write, so concurrent runs never interleave and every
// reader sees the class either fully registered or fully absent. The steps done before a
// failing step are kept, as they would be one by one.
HRESULT InOneChange(RegistrationScope scope, HRESULT (*action)(RegistrationScope)) {
    comrt::registry_transaction transaction(
        scope == RegistrationScope::PerUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE);
    HRESULT hr = HRESULT_FROM_WIN32(static_cast<DWORD>(transaction.status()));
    if (SUCCEEDED(hr))
        hr = action(scope);
    const LSTATUS written = transaction.commit();
    if (SUCCEEDED(hr) && written != static_cast<LSTATUS>(ERROR_SUCCESS))
        hr = HRESULT_FROM_WIN32(static_cast<DWORD>(written));
    if (FAILED(hr))
        ReportDamagedHives();
    return hr;
}

}  // namespace

bool FitsMaxPath(std::string_view path) {
    // Windows counts characters and file names here are UTF-8: count code points, a malformed
    // sequence as one.
    std::size_t characters = 0;
    for (OLECHAR unit : Utf16(path))
        if (unit < 0xDC00 || unit > 0xDFFF)  // the second half of a pair is no character
            ++characters;
    return characters < max_path;
}

HRESULT RegisterServer(RegistrationScope scope) {
    return InOneChange(scope, Register);
}

HRESULT UnregisterServer(RegistrationScope scope) {
    return InOneChange(scope, Unregister);
}
