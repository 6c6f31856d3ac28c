// kiv_tlbgen OUTPUT, Windows build: writes kivLib's type library (.tlb) to OUTPUT through
// oleaut32's CreateTypeLib2, from the same description the runtime's writer uses elsewhere. Run
// at build time under the emulator (Wine). Written beside and renamed into place, so a failed
// run never leaves half a library.
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/windows/typelib_writer.h"
#include "server/typelib/kiv_typelib.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kiv_tlbgen OUTPUT\n");
        return 2;
    }
    std::wstring output(std::string_view(argv[1]).size(), L'\0');
    output.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, argv[1], static_cast<int>(output.size()), output.data(),
                            static_cast<int>(output.size()))));
    const std::wstring temporary = output + L".tmp";
    std::string step;
    HRESULT hr = comrt::write_typelib_file(KivTypeLibDesc(), temporary, step);
    if (SUCCEEDED(hr) && !MoveFileExW(temporary.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING))
        hr = HRESULT_FROM_WIN32(GetLastError()), step = "MoveFileExW";
    if (FAILED(hr)) {
        DeleteFileW(temporary.c_str());
        std::fprintf(stderr, "kiv_tlbgen: %s failed: 0x%08lX\n", step.c_str(),
                     static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}
