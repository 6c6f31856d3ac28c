#include "platform/oleaut/typelib_load.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/base/fd_io.h"
#include "platform/base/unique_fd.h"
#include "platform/base/utf8_text.h"
#include "platform/oleaut/type_lib_object.h"
#include "platform/oleaut/typelib_msft.h"
#include "platform/oleaut/typelib_registration.h"
#include "platform/os/resource_reader.h"

namespace {

// No type library comes near this; a bigger file is not one.
constexpr off_t max_image_size = 64 << 20;

std::optional<std::vector<unsigned char>> read_small_file(const std::string& path) {
    comrt::unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > max_image_size)
        return std::nullopt;
    std::string bytes;
    // A file that grew since fstat is held to the same limit.
    if (comrt::read_to_end(fd.get(), bytes) != 0 ||
        bytes.size() > static_cast<std::size_t>(max_image_size))
        return std::nullopt;
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Why a library file could not be read: a process out of descriptors says so, since it may
// well succeed later; anything else is a library that cannot be loaded.
HRESULT unreadable() {
    return errno == EMFILE || errno == ENFILE ? HRESULT_FROM_WIN32(ERROR_TOO_MANY_OPEN_FILES)
                                              : TYPE_E_CANTLOADLIBRARY;
}

HRESULT load_from(const std::string& path, int resource, ITypeLib** out) {
    errno = 0;
    if (comrt::is_elf_file(path)) {
        auto section = comrt::read_resource(path, ".comrt.typelib." + std::to_string(resource));
        if (!section)
            return unreadable();
        return comrt::load_type_lib_image(*section, out);
    }
    if (errno == EMFILE || errno == ENFILE)
        return unreadable();
    auto bytes = read_small_file(path);
    if (!bytes)
        return unreadable();
    if (!comrt::looks_like_msft_typelib(*bytes))
        return TYPE_E_CANTLOADLIBRARY;
    return comrt::load_type_lib_image(*bytes, out);
}

}  // namespace

namespace comrt {

HRESULT load_type_lib_image(std::span<const unsigned char> image, ITypeLib** out) {
    if (out == nullptr)
        return E_INVALIDARG;
    *out = nullptr;
    try {
        TypeLibModel model;
        if (HRESULT hr = read_msft_typelib(image, &model); FAILED(hr))
            return hr;
        return create_type_lib(std::move(model), out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace comrt

HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
    if (pptlib == nullptr)
        return E_INVALIDARG;
    *pptlib = nullptr;
    if (szFile == nullptr || *szFile == 0)
        return E_INVALIDARG;
    try {
        std::string path = comrt::utf16_to_utf8(szFile);
        int resource = 1;
        if (!exists(path)) {
            // "<file>\<n>": resource n of <file>.
            std::size_t slash = path.rfind('\\');
            std::string number = slash == std::string::npos ? "" : path.substr(slash + 1);
            if (number.empty() || number.size() > 5 ||
                number.find_first_not_of("0123456789") != std::string::npos)
                return TYPE_E_CANTLOADLIBRARY;
            resource = std::stoi(number);
            path.resize(slash);
        }
        return load_from(path, resource, pptlib);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib) {
    if (pptlib == nullptr)
        return E_INVALIDARG;
    *pptlib = nullptr;
    if (regkind != REGKIND_DEFAULT && regkind != REGKIND_REGISTER && regkind != REGKIND_NONE)
        return E_INVALIDARG;
    CComPtr<ITypeLib> lib;
    if (HRESULT hr = LoadTypeLib(szFile, &lib); FAILED(hr))
        return hr;
    if (regkind == REGKIND_REGISTER) {
        try {
            std::error_code ec;
            auto full = std::filesystem::absolute(comrt::utf16_to_utf8(szFile), ec);
            if (ec)
                return E_INVALIDARG;
            std::u16string full_path = comrt::utf8_to_utf16(full.lexically_normal().string());
            if (HRESULT hr = RegisterTypeLib(lib, full_path.c_str(), nullptr); FAILED(hr))
                return hr;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    *pptlib = lib.Detach();
    return S_OK;
}
