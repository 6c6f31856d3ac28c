#pragma once
// Resources of an executable: named sections of its ELF image (".comrt.typelib.1",
// ".comrt.registry.101", ".comrt.version", ...), put there at build time by the CMake function
// comrt_embed_resource and read back from the file, never from the mapped image, so any
// executable on disk can be inspected.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace comrt {

// The section names the runtime and its programs use.
inline constexpr std::string_view version_section = ".comrt.version";
inline std::string registry_section(int id) {
    return ".comrt.registry." + std::to_string(id);
}

// The bytes of section `section` of the 64-bit little-endian ELF file `elf_file`; nullopt when
// the file cannot be read, is not such an ELF file, is malformed or truncated, or has no
// section of that name with contents in the file. Every offset and size is checked.
std::optional<std::vector<unsigned char>> read_resource(const std::string& elf_file,
                                                        std::string_view section);

// Whether the file starts with the ELF magic (it may still be malformed).
bool is_elf_file(const std::string& path);

}  // namespace comrt
