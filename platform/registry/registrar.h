#pragma once
// The registrar: applies or removes a registration script.
//
// The script language is the registrar-script subset of ATL (.rgs):
//
//     HKCR
//     {
//         NoRemove CLSID
//         {
//             ForceRemove {86AB8EAA-...} = s 'Prime Class'
//             {
//                 val AppID = s '%APPID%'
//                 LocalServer32 = s '%MODULE%'
//             }
//         }
//     }
//
// Roots HKCR / HKEY_CLASSES_ROOT, HKCU / HKEY_CURRENT_USER, HKLM / HKEY_LOCAL_MACHINE; a key
// is a name, optionally "= s 'default value'", optionally a braced block of subkeys and
// "val NAME = s 'text'" values. Keywords (the roots, NoRemove, ForceRemove, Delete, val, s)
// are case-insensitive; a name in quotes is always a name ('' is a quote inside quotes).
// Tokens are separated by white space. %NAME% is replaced from the caller's map (names
// case-insensitive) inside names and values only, so a replacement can never change the
// structure of the script; %% is a literal percent sign.
//
// Registering creates the keys and sets the values; a ForceRemove key is first deleted with
// everything below it; a Delete key is deleted and nothing else is done with it.
// Unregistering deletes every key that is not NoRemove with everything below it; a NoRemove
// key stays, its subkeys are processed and the values the script names in it are deleted.
// Keys that are already gone are no error.
//
// The whole script is checked before anything is written, and the changes to each hive are
// made in one atomic replacement of the hive file: a script either applies completely or not
// at all, and no reader ever sees half a registration.
#include <map>
#include <string>
#include <string_view>

#include "platform/base/hresult.h"
#include "platform/registry/registry.h"

namespace comrt {

// Where the script's HKEY_CLASSES_ROOT keys go: HKLM\Software\Classes (machine) or
// HKCU\Software\Classes (user), as registration for all users or for the caller only.
enum class registrar_scope { machine, user };

// The failure of a script that does not parse or names an unknown placeholder.
inline constexpr HRESULT REGISTRAR_E_SYNTAX = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// Applies (bRegister true) or removes the script. Returns S_OK, REGISTRAR_E_SYNTAX (with
// a description such as "line 3: expected '{'" in *diagnostic when given), or the registry's
// failure as HRESULT_FROM_WIN32 (e.g. E_ACCESSDENIED when the hive cannot be written).
HRESULT RegistrarUpdate(std::string_view script,
                        const std::map<std::string, std::string>& replacements, bool bRegister,
                        registrar_scope scope = registrar_scope::machine,
                        std::string* diagnostic = nullptr);

}  // namespace comrt
