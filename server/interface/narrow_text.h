#pragma once
// Text across the interface: the 8-bit text of a BSTR argument (what the number parsers of
// the engine read), and the BSTR of the engine's 8-bit results.
#include <string>

#include "platform/win32.h"

// One byte per UTF-16 code unit, through the ANSI code page (a unit it cannot show becomes
// '?', so only the ASCII digits read as digits). A null BSTR is the empty text.
std::string NarrowText(BSTR bstr);

// The engine's text is ASCII but for a results path, which is UTF-8 on this system: decoded as
// such, ASCII keeps one code unit per byte. Anything else is widened byte by byte. Never null,
// even when empty.
_bstr_t WideText(const std::string& text);
