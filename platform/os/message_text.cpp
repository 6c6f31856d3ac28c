#include "platform/os/message_text.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/base/hresult.h"
#include "platform/os/last_error.h"

namespace {

struct Entry {
    DWORD id;
    const char* text;
};

// Sorted by id. Win32 codes are keyed by their plain number; an HRESULT of FACILITY_WIN32
// finds the same text through its code.
constexpr Entry table[] = {
    {0x00000000, "The operation completed successfully.\r\n"},
    {0x00000001, "Incorrect function.\r\n"},
    {0x00000002, "The system cannot find the file specified.\r\n"},
    {0x00000003, "The system cannot find the path specified.\r\n"},
    {0x00000004, "The system cannot open the file.\r\n"},
    {0x00000005, "Access is denied.\r\n"},
    {0x00000006, "The handle is invalid.\r\n"},
    {0x00000008, "Not enough memory resources are available to process this command.\r\n"},
    {0x0000000D, "The data is invalid.\r\n"},
    {0x0000000E, "Not enough memory resources are available to complete this operation.\r\n"},
    {0x0000001D, "The system cannot write to the specified device.\r\n"},
    {0x00000027, "The disk is full.\r\n"},
    {0x00000050, "The file exists.\r\n"},
    {0x00000057, "The parameter is incorrect.\r\n"},
    {0x00000070, "There is not enough space on the disk.\r\n"},
    {0x0000007A, "The data area passed to a system call is too small.\r\n"},
    {0x000000B7, "Cannot create a file when that file already exists.\r\n"},
    {0x0000013D,
     "The system cannot find message text for message number 0x%1 in the message file for "
     "%2.\r\n"},
    {0x000003EC, "Invalid flags.\r\n"},
    {0x000003F1, "The configuration registry database is corrupt.\r\n"},
    {0x00000459,
     "No mapping for the Unicode character exists in the target multi-byte code "
     "page.\r\n"},
    {0x000006BA, "The RPC server is unavailable.\r\n"},
    {0x000006BE, "The remote procedure call failed.\r\n"},
    {0x80004001, "Not implemented\r\n"},
    {0x80004002, "No such interface supported\r\n"},
    {0x80004003, "Invalid pointer\r\n"},
    {0x80004004, "Operation aborted\r\n"},
    {0x80004005, "Unspecified error\r\n"},
    {0x8000FFFF, "Catastrophic failure\r\n"},
    {0x80010001, "Call was rejected by callee.\r\n"},
    {0x80010002, "Call was canceled by the message filter.\r\n"},
    {0x80010009, "The data necessary to complete this operation is not yet available.\r\n"},
    {0x80010105, "The server threw an exception.\r\n"},
    {0x80010106, "Cannot change thread mode after it is set.\r\n"},
    {0x80010108, "The object invoked has disconnected from its clients.\r\n"},
    {0x8001010E,
     "The application called an interface that was marshalled for a different thread.\r\n"},
    {0x8001011B, "Access is denied.\r\n"},
    {0x80020001, "Unknown interface.\r\n"},
    {0x80020003, "Member not found.\r\n"},
    {0x80020004, "Parameter not found.\r\n"},
    {0x80020005, "Type mismatch.\r\n"},
    {0x80020006, "Unknown name.\r\n"},
    {0x80020007, "No named arguments.\r\n"},
    {0x80020008, "Bad variable type.\r\n"},
    {0x80020009, "Exception occurred.\r\n"},
    {0x8002000A, "Out of present range.\r\n"},
    {0x8002000B, "Invalid index.\r\n"},
    {0x8002000E, "Invalid number of parameters.\r\n"},
    {0x8002000F, "Parameter not optional.\r\n"},
    {0x80028018, "Old format or invalid type library.\r\n"},
    {0x80028019, "Old format or invalid type library.\r\n"},
    {0x8002801C, "Error accessing the OLE registry.\r\n"},
    {0x8002801D, "Library not registered.\r\n"},
    {0x80028029, "Invalid forward reference, or reference to uncompiled type.\r\n"},
    {0x8002802B, "Element not found.\r\n"},
    {0x80029C4A, "Error loading type library/DLL.\r\n"},
    {0x80040110, "Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111, "ClassFactory cannot supply requested class\r\n"},
    {0x80040150, "Could not read key from registry\r\n"},
    {0x80040151, "Could not write key to registry\r\n"},
    {0x80040152, "Could not find the key in the registry\r\n"},
    {0x80040153, "Invalid value for registry\r\n"},
    {0x80040154, "Class not registered\r\n"},
    {0x80040155, "Interface not registered\r\n"},
    {0x800401F0, "CoInitialize has not been called.\r\n"},
    {0x800401F1, "CoInitialize has already been called.\r\n"},
    {0x800401F3, "Invalid class string\r\n"},
    {0x800401FD, "Object is not connected to server\r\n"},
    {0x80080005, "Server execution failed\r\n"},
    {0x80080008, "Object server is stopping when OLE service contacts it\r\n"},
};

constexpr bool sorted() {
    for (std::size_t i = 1; i < std::size(table); ++i)
        if (!(table[i - 1].id < table[i].id))
            return false;
    return true;
}
static_assert(sorted(), "the message table is searched by bisection");

const char* find(DWORD id) {
    auto it = std::lower_bound(std::begin(table), std::end(table), id,
                               [](const Entry& e, DWORD key) { return e.id < key; });
    return it != std::end(table) && it->id == id ? it->text : nullptr;
}

bool default_language(DWORD lang) {
    return lang == 0 || lang == MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT) || lang == 0x0409;
}

// The table look-up itself: the text with its CR LF, or null when the table has none.
const char* system_message_text(DWORD id) {
    if (const char* text = find(id))
        return text;
    auto hr = static_cast<HRESULT>(id);
    if (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_WIN32)
        return find(HRESULT_CODE(hr));
    return nullptr;
}

}  // namespace

DWORD FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, va_list*) {
    if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!default_language(dwLanguageId)) {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return 0;
    }
    const char* text = system_message_text(dwMessageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    std::size_t length = std::strlen(text);
    char* out;
    if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        out = static_cast<char*>(LocalAlloc(0, std::max<std::size_t>(length + 1, nSize)));
        if (out == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        *reinterpret_cast<char**>(lpBuffer) = out;
    } else {
        if (nSize < length + 1) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        out = lpBuffer;
    }
    std::memcpy(out, text, length + 1);
    return static_cast<DWORD>(length);
}

HLOCAL LocalAlloc(UINT, std::size_t uBytes) {
    return std::malloc(uBytes == 0 ? 1 : uBytes);
}

HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}
