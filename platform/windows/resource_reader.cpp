// Resources of an executable on disk, through the loader: mapped as a data file, never run.
#include "platform/windows/extensions.h"

namespace comrt {
namespace {

// A module loaded as data, freed on every path out.
class DataModule {
  public:
    explicit DataModule(const std::wstring& path)
        : m_module(LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~DataModule() {
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;
    HMODULE Get() const noexcept { return m_module; }

  private:
    HMODULE m_module;
};

}  // namespace

std::optional<std::vector<unsigned char>> read_resource(const std::string& module_path,
                                                        resource_id resource) {
    std::wstring wide(module_path.size(), L'\0');
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, module_path.data(), static_cast<int>(module_path.size()),
                            wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(units > 0 ? units : 0));
    DataModule module(wide);
    if (module.Get() == nullptr)
        return std::nullopt;
    HRSRC found = FindResourceW(module.Get(), MAKEINTRESOURCEW(resource.name), resource.type);
    if (found == nullptr)
        return std::nullopt;
    HGLOBAL loaded = LoadResource(module.Get(), found);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    if (bytes == nullptr)
        return std::nullopt;
    return std::vector<unsigned char>(bytes, bytes + SizeofResource(module.Get(), found));
}

}  // namespace comrt
