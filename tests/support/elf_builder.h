#pragma once
// Builds small ELF64 images with named sections, for the resource reader's tests.
#include <elf.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace elftest {

inline std::vector<unsigned char> BuildElf(
    const std::vector<std::pair<std::string, std::vector<unsigned char>>>& sections) {
    std::vector<unsigned char> out(sizeof(Elf64_Ehdr));
    std::string names(1, '\0');
    std::vector<Elf64_Shdr> headers(1);  // the null section
    for (const auto& [name, bytes] : sections) {
        Elf64_Shdr sh{};
        sh.sh_name = static_cast<Elf64_Word>(names.size());
        names += name + '\0';
        sh.sh_type = SHT_PROGBITS;
        sh.sh_flags = SHF_ALLOC;
        sh.sh_offset = out.size();
        sh.sh_size = bytes.size();
        out.insert(out.end(), bytes.begin(), bytes.end());
        headers.push_back(sh);
    }
    Elf64_Shdr strtab{};
    strtab.sh_name = static_cast<Elf64_Word>(names.size());
    names += std::string(".shstrtab") + '\0';
    strtab.sh_type = SHT_STRTAB;
    strtab.sh_offset = out.size();
    strtab.sh_size = names.size();
    out.insert(out.end(), names.begin(), names.end());
    headers.push_back(strtab);
    while (out.size() % 8)
        out.push_back(0);

    Elf64_Ehdr eh{};
    std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
    eh.e_ident[EI_CLASS] = ELFCLASS64;
    eh.e_ident[EI_DATA] = ELFDATA2LSB;
    eh.e_ident[EI_VERSION] = EV_CURRENT;
    eh.e_type = ET_EXEC;
    eh.e_machine = EM_X86_64;
    eh.e_version = EV_CURRENT;
    eh.e_ehsize = sizeof(Elf64_Ehdr);
    eh.e_shentsize = sizeof(Elf64_Shdr);
    eh.e_shoff = out.size();
    eh.e_shnum = static_cast<Elf64_Half>(headers.size());
    eh.e_shstrndx = static_cast<Elf64_Half>(headers.size() - 1);
    std::memcpy(out.data(), &eh, sizeof eh);
    const auto* raw = reinterpret_cast<const unsigned char*>(headers.data());
    out.insert(out.end(), raw, raw + headers.size() * sizeof(Elf64_Shdr));
    return out;
}

}  // namespace elftest
