#pragma once
// Bounded reading of an MSFT type library file (the format of ICreateTypeLib2, MIDL and widl):
// the header, the segment directory, and the tables the type infos point into (names,
// strings, GUIDs, type descriptions, values, custom data, imports). Every offset is checked
// against its table before it is followed; a failed check throws MsftError.
//
//   header (0x54 bytes, +4 with a help DLL), one offset per type info, the directory of 15
//   segments {offset, length, -1, 0x0F}, the segments, then each type info's member block.
#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "platform/oleaut/typelib_model.h"

namespace comrt {

// Why a file was refused: TYPE_E_INVDATAREAD (damaged), TYPE_E_UNSUPFORMAT (content this
// runtime does not read), TYPE_E_CANTLOADLIBRARY (not an MSFT library at all).
struct MsftError {
    HRESULT hr;
};

enum class MsftSegment {
    typeinfos,
    import_infos,
    import_files,
    refs,
    guid_hash,
    guids,
    name_hash,
    names,
    strings,
    typedescs,
    arraydescs,
    custdata,
    custdata_guids,
};

inline constexpr std::uint32_t msft_signature = 0x5446534D;  // "MSFT"
inline constexpr std::size_t msft_typeinfo_size = 0x64;
inline constexpr std::size_t tlb_max_total_items = 1000000;

class MsftFile {
  public:
    // Reads and checks the header and the segment directory.
    explicit MsftFile(std::span<const unsigned char> bytes);

    std::size_t size() const { return bytes_.size(); }
    // The little-endian value at an absolute offset.
    std::int32_t i32(std::int64_t offset) const;
    std::int16_t i16(std::int64_t offset) const;
    // The value at `offset` within a segment.
    std::int32_t i32(MsftSegment s, std::int64_t offset) const;
    std::int64_t segment_offset(MsftSegment s) const;
    std::int64_t segment_length(MsftSegment s) const;

    std::int32_t header(std::size_t index) const {
        return i32(static_cast<std::int64_t>(index) * 4);
    }
    std::int32_t type_info_count() const { return header(8); }

    std::string name(std::int32_t offset) const;  // name table, as UTF-8
    std::string text(std::int32_t offset) const;  // string table; -1: none
    GUID guid(std::int32_t offset) const;         // -1: the null GUID
    TlbValue value(std::int32_t encoded) const;   // packed in the int, or in custom data
    // An encoded type: a base VARTYPE in a negative int, else a type description's offset.
    TlbType type(std::int32_t encoded);
    // The reference an HREFTYPE stands for: a type info here, or an imported one.
    TlbRef ref(std::int32_t href);
    // Checks a chain of custom data entries, whose contents the runtime does not keep.
    void check_custdata(std::int32_t offset) const;

    // Counts type infos, members and parameters read, refusing more than the file can hold.
    void spend(std::size_t items);

    // The imports met so far by ref(), in the order met.
    std::vector<TlbImport> take_imports() { return std::move(imports_); }

  private:
    std::span<const unsigned char> bytes_;
    std::int64_t directory_ = 0;
    std::map<std::int32_t, std::uint32_t> import_index_;  // by offset in import_infos
    std::vector<TlbImport> imports_;
    std::size_t spent_ = 0;
};

[[noreturn]] inline void msft_fail(HRESULT hr = TYPE_E_INVDATAREAD) {
    throw MsftError{hr};
}

}  // namespace comrt
