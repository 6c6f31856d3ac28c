#pragma once
// What the registration switches do: the AppID script, then the class script and the type
// library; undone in the reverse order. Each action is one change of the hive of its scope.
#include <string_view>

#include "platform/win32.h"

enum class RegistrationScope;

HRESULT RegisterServer(RegistrationScope scope);
HRESULT UnregisterServer(RegistrationScope scope);

// Whether a module path (UTF-8) fits Windows' MAX_PATH buffer of 260 characters with its
// terminator.
bool FitsMaxPath(std::string_view path);
