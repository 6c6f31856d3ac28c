#include "platform/os/codepage.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/base/hresult.h"
#include "platform/base/utf8_text.h"
#include "platform/os/last_error.h"

namespace {

// Windows-1252 bytes 0x80..0x9F.
constexpr char16_t high_block[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t widen(unsigned char b) {
    return b >= 0x80 && b < 0xA0 ? high_block[b - 0x80] : static_cast<char16_t>(b);
}

// The byte for a code unit, or -1 when Windows-1252 has none.
int narrow(char16_t u) {
    if (u < 0x100)
        return u;  // includes the C1 controls, which 1252 passes through
    for (int i = 0; i < 32; ++i)
        if (high_block[i] == u)
            return 0x80 + i;
    return -1;
}

bool known_code_page(UINT cp) {
    return cp == CP_ACP || cp == CP_OEMCP || cp == CP_THREAD_ACP || cp == CP_WINDOWS_1252;
}

int fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Copies a whole conversion's result, or reports the size it needs.
template <class Unit>
int deliver(const std::basic_string<Unit>& result, Unit* out, int capacity) {
    if (result.size() > 0x7FFFFFFF)
        return fail(ERROR_INVALID_PARAMETER);
    if (capacity == 0)
        return static_cast<int>(result.size());
    if (static_cast<std::size_t>(capacity) < result.size())
        return fail(ERROR_INSUFFICIENT_BUFFER);
    std::copy(result.begin(), result.end(), out);
    return static_cast<int>(result.size());
}

bool has_unpaired_surrogate(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        else if (u >= 0xD800 && u <= 0xDFFF)
            return true;
    }
    return false;
}

int utf8_to_wide(DWORD flags, std::string_view text, LPWSTR wide, int cch) {
    if ((flags & ~MB_ERR_INVALID_CHARS) != 0)
        return fail(ERROR_INVALID_FLAGS);
    if ((flags & MB_ERR_INVALID_CHARS) != 0 && !comrt::is_valid_utf8(text))
        return fail(ERROR_NO_UNICODE_TRANSLATION);
    return deliver(comrt::utf8_to_utf16(text), wide, cch);
}

int wide_to_utf8(DWORD flags, std::u16string_view text, LPSTR mb, int cb) {
    if ((flags & ~WC_ERR_INVALID_CHARS) != 0)
        return fail(ERROR_INVALID_FLAGS);
    if ((flags & WC_ERR_INVALID_CHARS) != 0 && has_unpaired_surrogate(text))
        return fail(ERROR_NO_UNICODE_TRANSLATION);
    return deliver(comrt::utf16_to_utf8(text), mb, cb);
}

}  // namespace

UINT GetACP() {
    return CP_WINDOWS_1252;
}

int MultiByteToWideChar(UINT CodePage, DWORD flags, LPCSTR mb, int cb, LPWSTR wide, int cch) {
    if (!(known_code_page(CodePage) || CodePage == CP_UTF8) || mb == nullptr || cb == 0 ||
        cb < -1 || cch < 0 || (cch > 0 && wide == nullptr))
        return fail(ERROR_INVALID_PARAMETER);
    std::size_t count = cb == -1 ? std::strlen(mb) + 1 : static_cast<std::size_t>(cb);
    if (count > 0x7FFFFFFF)
        return fail(ERROR_INVALID_PARAMETER);
    if (CodePage == CP_UTF8)
        return utf8_to_wide(flags, std::string_view(mb, count), wide, cch);
    if (cch == 0)
        return static_cast<int>(count);
    if (static_cast<std::size_t>(cch) < count)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    for (std::size_t i = 0; i < count; ++i)
        wide[i] = widen(static_cast<unsigned char>(mb[i]));
    return static_cast<int>(count);
}

int WideCharToMultiByte(UINT CodePage, DWORD flags, LPCWSTR wide, int cch, LPSTR mb, int cb,
                        LPCSTR lpDefaultChar, BOOL* lpUsedDefaultChar) {
    if (CodePage == CP_UTF8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr))
        return fail(ERROR_INVALID_PARAMETER);
    if (!(known_code_page(CodePage) || CodePage == CP_UTF8) || wide == nullptr || cch == 0 ||
        cch < -1 || cb < 0 || (cb > 0 && mb == nullptr))
        return fail(ERROR_INVALID_PARAMETER);
    std::size_t count = static_cast<std::size_t>(cch);
    if (cch == -1) {
        count = 0;
        while (wide[count] != 0)
            ++count;
        ++count;
    }
    if (count > 0x7FFFFFFF)
        return fail(ERROR_INVALID_PARAMETER);
    if (CodePage == CP_UTF8)
        return wide_to_utf8(flags, std::u16string_view(wide, count), mb, cb);
    if (cb == 0)
        return static_cast<int>(count);
    if (static_cast<std::size_t>(cb) < count)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    char default_char = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
    bool used_default = false;
    for (std::size_t i = 0; i < count; ++i) {
        int b = narrow(wide[i]);
        if (b < 0) {
            used_default = true;
            mb[i] = default_char;
        } else {
            mb[i] = static_cast<char>(b);
        }
    }
    if (lpUsedDefaultChar != nullptr)
        *lpUsedDefaultChar = used_default ? TRUE : FALSE;
    return static_cast<int>(count);
}

namespace comrt {

std::u16string ansi_to_utf16(std::string_view text) {
    std::u16string out(text.size(), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = widen(static_cast<unsigned char>(text[i]));
    return out;
}

std::string utf16_to_ansi(std::u16string_view text) {
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        int b = narrow(text[i]);
        out[i] = b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

}  // namespace comrt
