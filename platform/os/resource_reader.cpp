#include "platform/os/resource_reader.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/base/fd_io.h"
#include "platform/base/unique_fd.h"

namespace comrt {
namespace {

// No resource of ours comes near this; a bigger one is a damaged or hostile file.
constexpr std::uint64_t max_section_size = 256u << 20;
constexpr std::uint64_t max_section_count = 1u << 16;

class ElfFile {
  public:
    explicit ElfFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)) {
        struct stat st {};
        if (fd_ && ::fstat(fd_.get(), &st) == 0 && S_ISREG(st.st_mode))
            size_ = static_cast<std::uint64_t>(st.st_size);
        else
            fd_.reset();
    }
    explicit operator bool() const { return static_cast<bool>(fd_); }
    std::uint64_t size() const { return size_; }

    // Reads exactly [offset, offset + length) when that range lies inside the file.
    bool read(std::uint64_t offset, void* out, std::uint64_t length) const {
        if (offset > size_ || length > size_ - offset)
            return false;
        auto* dest = static_cast<unsigned char*>(out);
        while (length > 0) {
            const ssize_t got = retry_on_eintr(
                [&] { return ::pread(fd_.get(), dest, length, static_cast<off_t>(offset)); });
            if (got <= 0)
                return false;  // the file shrank meanwhile
            dest += got;
            offset += static_cast<std::uint64_t>(got);
            length -= static_cast<std::uint64_t>(got);
        }
        return true;
    }

  private:
    unique_fd fd_;
    std::uint64_t size_ = 0;
};

bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t total) {
    return offset <= total && length <= total - offset;
}

std::optional<std::vector<unsigned char>> find_section(const ElfFile& file,
                                                       std::string_view wanted) {
    Elf64_Ehdr eh;
    if (!file.read(0, &eh, sizeof eh))
        return std::nullopt;
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
        eh.e_ident[EI_DATA] != ELFDATA2LSB || eh.e_shentsize != sizeof(Elf64_Shdr) ||
        eh.e_shoff == 0)
        return std::nullopt;

    auto read_header = [&](std::uint64_t index, Elf64_Shdr& sh) {
        return file.read(eh.e_shoff + index * sizeof(Elf64_Shdr), &sh, sizeof sh);
    };
    // More than 0xFF00 sections, or a string table index past that, are kept in section 0.
    Elf64_Shdr first;
    if (!read_header(0, first))
        return std::nullopt;
    std::uint64_t count = eh.e_shnum != 0 ? eh.e_shnum : first.sh_size;
    std::uint64_t names_index = eh.e_shstrndx != SHN_XINDEX ? eh.e_shstrndx : first.sh_link;
    if (count == 0 || count > max_section_count || names_index >= count ||
        !within(eh.e_shoff, count * sizeof(Elf64_Shdr), file.size()))
        return std::nullopt;

    Elf64_Shdr names_header;
    if (!read_header(names_index, names_header) || names_header.sh_type != SHT_STRTAB ||
        names_header.sh_size > max_section_size ||
        !within(names_header.sh_offset, names_header.sh_size, file.size()))
        return std::nullopt;
    std::vector<char> names(names_header.sh_size);
    if (!file.read(names_header.sh_offset, names.data(), names.size()))
        return std::nullopt;

    for (std::uint64_t i = 1; i < count; ++i) {
        Elf64_Shdr sh;
        if (!read_header(i, sh))
            return std::nullopt;
        if (sh.sh_name >= names.size())
            continue;  // a nameless or damaged entry
        const char* name = names.data() + sh.sh_name;
        std::size_t room = names.size() - sh.sh_name;
        std::size_t length = strnlen(name, room);
        if (length == room || std::string_view(name, length) != wanted)
            continue;
        if (sh.sh_type == SHT_NOBITS || sh.sh_size > max_section_size ||
            !within(sh.sh_offset, sh.sh_size, file.size()))
            return std::nullopt;
        std::vector<unsigned char> data(sh.sh_size);
        if (!file.read(sh.sh_offset, data.data(), data.size()))
            return std::nullopt;
        return data;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<unsigned char>> read_resource(const std::string& elf_file,
                                                        std::string_view section) {
    try {
        ElfFile file(elf_file);
        if (!file)
            return std::nullopt;
        return find_section(file, section);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool is_elf_file(const std::string& path) {
    ElfFile file(path);
    unsigned char magic[SELFMAG];
    return file && file.read(0, magic, sizeof magic) && std::memcmp(magic, ELFMAG, SELFMAG) == 0;
}

}  // namespace comrt
