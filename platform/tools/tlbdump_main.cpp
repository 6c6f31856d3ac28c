// tlbdump FILE: loads a type library (LoadTypeLibEx, REGKIND_NONE) and prints it as text, the
// same text on Linux (comrt) and on Windows (the system's oleaut32), so that the two readers
// can be compared on the same files. Exits 1 when the library cannot be loaded, 2 on usage.
#include <cstdio>
#include <string>

#include "platform/tools/type_text.h"
#include "platform/tools/typelib_dump.h"
#include "platform/win32.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cwchar>
#endif

namespace {

int Run(const OLECHAR* path, std::size_t length) {
    const std::string shown = tlbdump::Utf8(path, length);
    CComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
    if (FAILED(hr)) {
        std::fprintf(stderr, "tlbdump: cannot load %s: %s\n", shown.c_str(),
                     tlbdump::HresultText(hr).c_str());
        return 1;
    }
    const std::string text = tlbdump::DumpTypeLib(lib);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        std::perror("tlbdump: writing");
        return 1;
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: tlbdump FILE.tlb\n");
    return 2;
}

}  // namespace

#ifdef _WIN32
// Wide arguments: the path reaches LoadTypeLibEx as typed. Output stays "\n"-separated UTF-8,
// byte for byte the Linux build's.
int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return Usage();
    _setmode(_fileno(stdout), _O_BINARY);
    return Run(argv[1], std::wcslen(argv[1]));
}
#else
int main(int argc, char** argv) {
    if (argc != 2)
        return Usage();
    const int length = MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, nullptr, 0);
    if (length <= 0)
        return Usage();
    std::u16string path(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, path.data(), length);
    return Run(path.c_str(), static_cast<std::size_t>(length - 1));
}
#endif
