#pragma once
// What the registration switches do: the AppID script, then the class script and the type
// library; undone in the reverse order.
#include "platform/win32.h"

enum class RegistrationScope;

HRESULT RegisterServer(RegistrationScope scope);
HRESULT UnregisterServer(RegistrationScope scope);
