#include "platform/oleaut/msft_file.h"

#include <algorithm>
#include <cstring>

#include "platform/base/utf8_text.h"
#include "platform/os/codepage.h"

namespace comrt {
namespace {

constexpr std::int64_t header_size = 0x54;
constexpr std::int32_t help_dll_flag = 0x100;
constexpr std::size_t segment_count = 15;
constexpr std::int32_t segment_mark = 0x0F;
constexpr std::int32_t guid_entry_size = 24;  // GUID, hreftype, next in its hash chain
constexpr std::int32_t import_info_size = 12;
constexpr std::int32_t custdata_guid_size = 12;

// Names and strings are in the ANSI code page.
std::string ansi_to_utf8(const unsigned char* data, std::size_t length) {
    if (length == 0)
        return {};
    std::u16string wide(length, u'\0');  // one unit per byte in Windows-1252
    int got = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<LPCSTR>(data),
                                  static_cast<int>(length), wide.data(), static_cast<int>(length));
    if (got <= 0)
        msft_fail();
    wide.resize(static_cast<std::size_t>(got));
    return utf16_to_utf8(wide);
}

}  // namespace

MsftFile::MsftFile(std::span<const unsigned char> bytes) : bytes_(bytes) {
    if (bytes.size() < header_size || static_cast<std::uint32_t>(i32(0)) != msft_signature)
        msft_fail(TYPE_E_CANTLOADLIBRARY);
    if (i32(4) != 0x00010002)
        msft_fail(TYPE_E_UNSUPFORMAT);
    const std::int32_t count = type_info_count();
    if (count < 0 || static_cast<std::size_t>(count) > tlb_max_items)
        msft_fail();
    directory_ = header_size + ((header(5) & help_dll_flag) ? 4 : 0) + std::int64_t{count} * 4;
    for (std::size_t s = 0; s < segment_count; ++s) {
        const std::int64_t entry = directory_ + static_cast<std::int64_t>(s) * 16;
        const std::int32_t offset = i32(entry), length = i32(entry + 4);
        if (i32(entry + 12) != segment_mark)
            msft_fail(s < 2 ? TYPE_E_UNSUPFORMAT : TYPE_E_INVDATAREAD);
        if (offset == -1 && length == 0)
            continue;  // absent
        if (offset < 0 || length < 0 || std::int64_t{offset} + length > std::int64_t(size()) ||
            length % 4 != 0)
            msft_fail();
    }
    // The hash tables are not needed to read, but what they point at must be there.
    const auto check_hash = [this](MsftSegment hash, MsftSegment table, std::int32_t entry) {
        for (std::int64_t o = 0; o < segment_length(hash); o += 4) {
            const std::int32_t at = i32(hash, o);
            if (at != -1 && (at < 0 || std::int64_t{at} + entry > segment_length(table)))
                msft_fail();
        }
    };
    check_hash(MsftSegment::guid_hash, MsftSegment::guids, guid_entry_size);
    check_hash(MsftSegment::name_hash, MsftSegment::names, 12);
    if (segment_length(MsftSegment::typeinfos) <
        std::int64_t{count} * static_cast<std::int64_t>(msft_typeinfo_size))
        msft_fail();
}

void MsftFile::spend(std::size_t items) {
    // Records may be shared, so a small file could name the same ones over and over: what
    // the model holds is bounded by the file's size and a limit no real library comes near.
    spent_ += items;
    if (spent_ > std::min<std::size_t>(size() / 4, tlb_max_total_items))
        msft_fail();
}

std::int32_t MsftFile::i32(std::int64_t offset) const {
    if (offset < 0 || offset + 4 > std::int64_t(bytes_.size()))
        msft_fail();
    const unsigned char* p = bytes_.data() + offset;
    return static_cast<std::int32_t>(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                     std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
}

std::int16_t MsftFile::i16(std::int64_t offset) const {
    if (offset < 0 || offset + 2 > std::int64_t(bytes_.size()))
        msft_fail();
    const unsigned char* p = bytes_.data() + offset;
    return static_cast<std::int16_t>(p[0] | p[1] << 8);
}

std::int64_t MsftFile::segment_offset(MsftSegment s) const {
    return i32(directory_ + static_cast<std::int64_t>(s) * 16);
}

std::int64_t MsftFile::segment_length(MsftSegment s) const {
    return segment_offset(s) < 0 ? 0 : i32(directory_ + static_cast<std::int64_t>(s) * 16 + 4);
}

std::int32_t MsftFile::i32(MsftSegment s, std::int64_t offset) const {
    if (offset < 0 || offset + 4 > segment_length(s))
        msft_fail();
    return i32(segment_offset(s) + offset);
}

std::string MsftFile::name(std::int32_t offset) const {
    const std::int64_t length = i32(MsftSegment::names, std::int64_t{offset} + 8) & 0xFF;
    if (std::int64_t{offset} + 12 + length > segment_length(MsftSegment::names))
        msft_fail();
    return ansi_to_utf8(bytes_.data() + segment_offset(MsftSegment::names) + offset + 12,
                        static_cast<std::size_t>(length));
}

std::string MsftFile::text(std::int32_t offset) const {
    if (offset == -1)
        return {};
    const std::int64_t base = segment_offset(MsftSegment::strings);
    if (offset < 0 || std::int64_t{offset} + 2 > segment_length(MsftSegment::strings))
        msft_fail();
    const std::int16_t length = i16(base + offset);
    if (length < 0 || std::int64_t{offset} + 2 + length > segment_length(MsftSegment::strings) ||
        static_cast<std::size_t>(length) > tlb_max_help_length)
        msft_fail();
    return ansi_to_utf8(bytes_.data() + base + offset + 2, static_cast<std::size_t>(length));
}

GUID MsftFile::guid(std::int32_t offset) const {
    if (offset == -1)
        return GUID{};
    if (offset < 0 || offset % guid_entry_size != 0 ||
        std::int64_t{offset} + guid_entry_size > segment_length(MsftSegment::guids))
        msft_fail();
    const std::int64_t at = segment_offset(MsftSegment::guids) + offset;
    GUID g{};
    g.Data1 = static_cast<std::uint32_t>(i32(at));
    g.Data2 = static_cast<std::uint16_t>(i16(at + 4));
    g.Data3 = static_cast<std::uint16_t>(i16(at + 6));
    std::memcpy(g.Data4, bytes_.data() + at + 8, sizeof g.Data4);
    return g;
}

TlbValue MsftFile::value(std::int32_t encoded) const {
    TlbValue v;
    if (encoded < 0) {  // small values live in the int: the VARTYPE in bits 26-30
        v.vt = static_cast<VARTYPE>((encoded & 0x7C000000) >> 26);
        v.bits = static_cast<std::uint32_t>(encoded) & 0x03FFFFFF;
        return v;
    }
    const std::int64_t base = segment_offset(MsftSegment::custdata);
    const std::int64_t length = segment_length(MsftSegment::custdata);
    if (std::int64_t{encoded} + 2 > length)
        msft_fail();
    v.vt = static_cast<VARTYPE>(i16(base + encoded));
    const std::int64_t data = std::int64_t{encoded} + 2;
    auto bits = [&](std::int64_t size, std::uint64_t mask) {
        if (data + size > length)
            msft_fail();
        std::uint64_t low = static_cast<std::uint32_t>(i32(base + data));
        if (size == 8)
            low |= std::uint64_t{static_cast<std::uint32_t>(i32(base + data + 4))} << 32;
        v.bits = low & mask;
    };
    switch (v.vt) {
        case VT_I1:
        case VT_UI1:
            bits(4, 0xFF);
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            bits(4, 0xFFFF);
            break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
        case VT_R4:
            bits(4, 0xFFFFFFFFu);
            break;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            bits(8, ~std::uint64_t{0});
            break;
        case VT_EMPTY:  // no value: its four bytes say nothing
        case VT_NULL:
            bits(4, 0);
            break;
        case VT_DISPATCH:  // a null pointer, and nothing stored
        case VT_UNKNOWN:
        case VT_VARIANT:
            break;
        case VT_BSTR: {
            if (data + 4 > length)
                msft_fail();
            const std::int32_t size = i32(base + data);
            if (size < 0 || static_cast<std::size_t>(size) > tlb_max_help_length ||
                data + 4 + size > length)
                msft_fail();
            v.text = ansi_to_utf8(bytes_.data() + base + data + 4, static_cast<std::size_t>(size));
            break;
        }
        default:
            msft_fail(TYPE_E_UNSUPFORMAT);
    }
    return v;
}

TlbType MsftFile::type(std::int32_t encoded) {
    TlbType t;
    for (;;) {
        if (encoded < 0) {
            t.vt = static_cast<VARTYPE>(encoded & VT_TYPEMASK);
            if (!is_model_base_type(t.vt) || t.vt == VT_USERDEFINED)
                msft_fail();
            return t;
        }
        if (encoded % 8 != 0)
            msft_fail();
        const std::int32_t head = i32(MsftSegment::typedescs, encoded);
        const std::int32_t target = i32(MsftSegment::typedescs, std::int64_t{encoded} + 4);
        const auto vt = static_cast<VARTYPE>(head & VT_TYPEMASK);
        if (vt == VT_PTR || vt == VT_SAFEARRAY) {
            // A chain longer than any real type also ends a loop of descriptions.
            if (t.indirections.size() == tlb_max_indirections)
                msft_fail();
            t.indirections.push_back(vt);
            encoded =
                target < 0 ? static_cast<std::int32_t>(0x80000000u | (target & 0xFFFF)) : target;
            continue;
        }
        if (vt == VT_USERDEFINED) {
            t.vt = vt;
            t.ref = ref(target);
            return t;
        }
        if (vt == VT_CARRAY) {
            // The array description: the element's type, the dimensions (in the low word),
            // then per dimension its count and lower bound.
            if (t.indirections.size() == tlb_max_indirections)
                msft_fail();
            const std::int32_t element = i32(MsftSegment::arraydescs, target);
            const std::int32_t dims =
                i32(MsftSegment::arraydescs, std::int64_t{target} + 4) & 0xFFFF;
            if (dims == 0 || static_cast<std::size_t>(dims) > tlb_max_array_dims)
                msft_fail();
            TlbArrayBounds& bounds = t.arrays.emplace_back();
            for (std::int32_t d = 0; d < dims; ++d) {
                const std::int64_t at = std::int64_t{target} + 8 + 8 * std::int64_t{d};
                bounds.emplace_back(static_cast<ULONG>(i32(MsftSegment::arraydescs, at)),
                                    i32(MsftSegment::arraydescs, at + 4));
            }
            t.indirections.push_back(vt);
            encoded =
                element < 0 ? static_cast<std::int32_t>(0x80000000u | (element & 0xFFFF)) : element;
            continue;
        }
        msft_fail();
    }
}

TlbRef MsftFile::ref(std::int32_t href) {
    if ((href & 3) == 0) {  // a type info here: its offset in the type info table
        if (href < 0 || href % static_cast<std::int32_t>(msft_typeinfo_size) != 0 ||
            href / static_cast<std::int32_t>(msft_typeinfo_size) >= type_info_count())
            msft_fail();
        return {false, static_cast<std::uint32_t>(href / msft_typeinfo_size)};
    }
    if ((href & 3) != 1)
        msft_fail();
    const std::int32_t offset = href & ~3;  // into the import infos, plus one
    if (auto known = import_index_.find(offset); known != import_index_.end())
        return {true, known->second};
    if (offset < 0 || offset % import_info_size != 0 || imports_.size() >= tlb_max_items)
        msft_fail();
    const std::int32_t flags = i32(MsftSegment::import_infos, offset);
    const std::int32_t file = i32(MsftSegment::import_infos, std::int64_t{offset} + 4);
    const std::int32_t target = i32(MsftSegment::import_infos, std::int64_t{offset} + 8);
    TlbImport import;
    import.href = static_cast<HREFTYPE>(href);
    if (flags & 0x00010000)  // the target is the type's GUID, else its index there
        import.type = guid(target);
    else if (target >= 0)
        import.type_index = target;
    else
        msft_fail();
    // The file entry: GUID offset, LCID, major, minor, then the name's length * 4 + flags.
    if (file < 0 || std::int64_t{file} + 14 > segment_length(MsftSegment::import_files))
        msft_fail();
    const std::int64_t at = segment_offset(MsftSegment::import_files) + file;
    import.library = guid(i32(at));
    import.major_version = static_cast<WORD>(i16(at + 8));
    import.minor_version = static_cast<WORD>(i16(at + 10));
    const std::int64_t length = static_cast<std::uint16_t>(i16(at + 12)) >> 2;
    if (file + 14 + length > segment_length(MsftSegment::import_files))
        msft_fail();
    import.file = ansi_to_utf8(bytes_.data() + at + 14, static_cast<std::size_t>(length));
    import_index_.emplace(offset, static_cast<std::uint32_t>(imports_.size()));
    imports_.push_back(std::move(import));
    return {true, static_cast<std::uint32_t>(imports_.size() - 1)};
}

void MsftFile::check_custdata(std::int32_t offset) const {
    // Each entry names its GUID, its value and the next entry; a chain longer than the table
    // has entries is a loop, and one longer than any library needs is refused as well.
    const std::int64_t limit =
        std::min<std::int64_t>(segment_length(MsftSegment::custdata_guids) / custdata_guid_size,
                               static_cast<std::int64_t>(tlb_max_items));
    for (std::int64_t steps = 0; offset != -1; ++steps) {
        if (offset < 0 || offset % 4 != 0 || steps >= limit)
            msft_fail();
        guid(i32(MsftSegment::custdata_guids, offset));
        const std::int32_t data = i32(MsftSegment::custdata_guids, std::int64_t{offset} + 4);
        if (data >= 0 && std::int64_t{data} + 2 > segment_length(MsftSegment::custdata))
            msft_fail();
        offset = i32(MsftSegment::custdata_guids, std::int64_t{offset} + 8);
    }
}

}  // namespace comrt
