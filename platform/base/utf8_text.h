#pragma once
// UTF-8 <-> UTF-16 for the text the runtime keeps as bytes: file paths, registry strings and
// the names of a type library. Malformed input never fails the conversion: each bad sequence
// becomes U+FFFD (towards UTF-16) or the UTF-8 form of U+FFFD (towards UTF-8).
#include <string>
#include <string_view>

namespace comrt {

std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);
// Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text);

}  // namespace comrt
