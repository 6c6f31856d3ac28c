#pragma once
// 8-bit <-> UTF-16 conversion. The platform's ANSI code page is Windows-1252: bytes 0x80-0x9F
// are its typographic characters (the five it leaves undefined pass through as C1 controls),
// every other byte is the Latin-1 character of the same value. Towards 8 bits a code unit
// that 1252 cannot show becomes the default character '?'; no best-fit mapping is applied, so
// exactly U+0030..U+0039 become the ASCII digits.
#include "platform/base/types.h"

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_OEMCP = 1;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_WINDOWS_1252 = 1252;
inline constexpr UINT CP_UTF8 = 65001;

// CP_UTF8 only: fail with ERROR_NO_UNICODE_TRANSLATION on a malformed sequence (towards
// UTF-16) or an unpaired surrogate (towards UTF-8) instead of writing U+FFFD.
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;

UINT GetACP();

// As on Windows: a length of -1 means "up to and including the terminating zero"; an output
// size of 0 asks for the size needed. Returns the units written (or needed), 0 on failure
// with GetLastError() set (ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER,
// ERROR_NO_UNICODE_TRANSLATION). In CP_UTF8 each malformed sequence becomes one U+FFFD, and
// lpDefaultChar and lpUsedDefaultChar must be null.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar);

#include <string>
#include <string_view>

namespace comrt {
// Whole-string forms of the two conversions above, in the ANSI code page.
std::u16string ansi_to_utf16(std::string_view text);
std::string utf16_to_ansi(std::u16string_view text);
}  // namespace comrt
