#pragma once
// The 8-bit text of a BSTR argument: what the number parsers of the engine read.
#include <string>

#include "platform/win32.h"

// One byte per UTF-16 code unit, through the ANSI code page (a unit it cannot show becomes
// '?', so only the ASCII digits read as digits). A null BSTR is the empty text.
std::string NarrowText(BSTR bstr);
