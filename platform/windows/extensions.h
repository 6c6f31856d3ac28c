#pragma once
// The runtime extensions of platform/comrt_extensions.h on Windows: the same names, carried
// over the real Windows API. Included through platform/comrt_extensions.h only.
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows/win32_sdk.h"

namespace comrt {

// A token that never fires. Windows reports a cancelled call only to a server that polls
// CoTestCancel on the serving thread, and Wine's local servers never see a cancellation at all;
// a call therefore runs to its end, as one whose caller stays.
inline std::stop_token current_call_stop_token() noexcept {
    return {};
}

// The records of WMI's "SELECT * FROM Win32_Processor", one per processor package.
struct ProcessorRecord {
    std::optional<std::basic_string<OLECHAR>> Name;
    std::optional<ULONG> NumberOfCores;
    std::optional<ULONG> NumberOfLogicalProcessors;
};
HRESULT QueryProcessorRecords(std::vector<ProcessorRecord>& records);

// Resource `name` of type `type` of the executable `module_path` (loaded as a data file).
struct resource_id {
    LPCWSTR type;
    int name;
};
inline resource_id registry_section(int id) {
    return {L"REGISTRY", id};
}
std::optional<std::vector<unsigned char>> read_resource(const std::string& module_path,
                                                        resource_id resource);

// The registrar: the same script interpreter as the runtime's, applied through Reg*. The
// script's HKCR keys go to HKLM\Software\Classes (machine) or HKCU\Software\Classes (user).
enum class registrar_scope { machine, user };
inline constexpr HRESULT REGISTRAR_E_SYNTAX = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
HRESULT RegistrarUpdate(std::string_view script,
                        const std::map<std::string, std::string>& replacements, bool bRegister,
                        registrar_scope scope = registrar_scope::machine,
                        std::string* diagnostic = nullptr);

// The kernel keeps the registry consistent: a registration needs no scope of its own.
class registry_transaction {
  public:
    explicit registry_transaction(HKEY) noexcept {}
    LSTATUS status() const noexcept { return ERROR_SUCCESS; }
    LSTATUS commit() noexcept { return ERROR_SUCCESS; }
};
inline std::vector<std::string> damaged_hives() {
    return {};
}

}  // namespace comrt
