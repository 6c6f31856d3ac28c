#pragma once
// The registry: hierarchical keys with a default value and named values, in two hives.
//
// HKEY_LOCAL_MACHINE is the machine hive, /var/lib/comrt/system.reg, or
// $COMRT_MACHINE_DIR/system.reg when that variable is set. HKEY_CURRENT_USER is the per-user
// hive, $XDG_DATA_HOME/comrt/user.reg (default $HOME/.local/share/comrt/user.reg).
// HKEY_CLASSES_ROOT is a merged view: reads see HKCU\Software\Classes over
// HKLM\Software\Classes (a key or value present per user wins, enumeration is the union);
// every change made through HKCR goes to the machine hive, so per-user registration writes
// through HKCU\Software\Classes explicitly.
//
// Names are 8-bit strings (UTF-8 passes through) and compare without regard to ASCII case;
// the case of the first writer is kept. A hive is a text file; every change takes a lock
// beside it and replaces the file atomically, so a reader in another process sees either the
// old or the new hive, never a torn one. A missing hive reads as empty; its directory is made
// on the first write. Handles name a key by its path, so an operation on a handle whose key
// was deleted meanwhile gives ERROR_KEY_DELETED.
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/hresult.h"
#include "platform/base/types.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using LSTATUS = LONG;
using REGSAM = DWORD;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;

// Predefined handles; closing them does nothing.
extern const HKEY HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE;

inline constexpr DWORD REG_NONE = 0, REG_SZ = 1;
inline constexpr REGSAM KEY_READ = 0x20019, KEY_WRITE = 0x20006, KEY_ALL_ACCESS = 0xF003F;
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0, REG_CREATED_NEW_KEY = 1,
                       REG_OPENED_EXISTING_KEY = 2;

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);
LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition);
// lpValueName null or "" is the default value. For REG_SZ, cbData counts the terminator; the
// stored text ends at the first zero byte of the data.
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData);
// With lpData null, *lpcbData receives the size needed; a buffer too small gives
// ERROR_MORE_DATA with the size needed in *lpcbData. REG_SZ data comes with its terminator.
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Refuses (ERROR_ACCESS_DENIED) a key that has subkeys.
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
// The subkey and everything below it; with lpSubKey null, every value and subkey of hKey
// (the key itself stays, as on Windows).
LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
// Subkeys in case-insensitive name order; ERROR_NO_MORE_ITEMS past the end.
LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime);
// Values in case-insensitive name order, the default value ("") first.
LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegCloseKey(HKEY hKey);

// An open key, closed by its destructor.
class CRegKey {
  public:
    CRegKey() noexcept = default;
    explicit CRegKey(HKEY hKey) noexcept : m_hKey(hKey) {}
    CRegKey(CRegKey&& other) noexcept : m_hKey(other.Detach()) {}
    CRegKey& operator=(CRegKey&& other) noexcept;
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;
    ~CRegKey() { Close(); }

    operator HKEY() const noexcept { return m_hKey; }
    HKEY Detach() noexcept;
    void Attach(HKEY hKey) noexcept;

    LSTATUS Open(HKEY hKeyParent, LPCSTR lpszKeyName, REGSAM samDesired = KEY_READ | KEY_WRITE);
    LSTATUS Create(HKEY hKeyParent, LPCSTR lpszKeyName, LPSTR lpszClass = nullptr,
                   DWORD dwOptions = REG_OPTION_NON_VOLATILE,
                   REGSAM samDesired = KEY_READ | KEY_WRITE, void* lpSecAttr = nullptr,
                   LPDWORD lpdwDisposition = nullptr);
    LSTATUS Close() noexcept;

    LSTATUS SetStringValue(LPCSTR pszValueName, LPCSTR pszValue, DWORD dwType = REG_SZ);
    // *pnChars: buffer size in characters with the terminator; on return the characters
    // stored, terminator included (or needed, with ERROR_MORE_DATA).
    LSTATUS QueryStringValue(LPCSTR pszValueName, LPSTR pszValue, ULONG* pnChars);
    LSTATUS DeleteValue(LPCSTR lpszValue);

    HKEY m_hKey = nullptr;
};

namespace comrt {

// Where the hives live, from the environment at the time of the call.
std::string machine_hive_path();
std::string user_hive_path();
// "<hive path>:<line>: <what is wrong>" for each hive that this process last found damaged
// (the registry functions then fail with ERROR_BADDB and never write that hive).
std::vector<std::string> damaged_hives();

// A string value of root\path (name "" is the default value), or nullopt when the key or the
// value is missing or not a string.
std::optional<std::string> reg_get_string(HKEY root, std::string_view path,
                                          std::string_view name = "");
// Creates root\path as needed and sets the string value.
LSTATUS reg_set_string(HKEY root, std::string_view path, std::string_view name,
                       std::string_view value);
// Whether root\path exists.
bool reg_key_exists(HKEY root, std::string_view path);

// Prints a key, its values and its subkeys recursively, for "comrt reg query KEY". The key is
// written "HKCR\...", "HKEY_CLASSES_ROOT\...", "HKCU\...", "HKEY_CURRENT_USER\...", "HKLM\..."
// or "HKEY_LOCAL_MACHINE\..."; ERROR_BAD_PATHNAME for an unknown root, ERROR_FILE_NOT_FOUND
// when the key does not exist.
LSTATUS PrintRegistryKey(std::ostream& out, std::string_view full_key_path);

}  // namespace comrt
