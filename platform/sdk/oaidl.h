#pragma once
// What the generated interface headers include by its Windows name.
#include "platform/win32.h"
