#include "platform/oleaut/typelib_image.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

namespace comrt {
namespace {

constexpr unsigned char magic[8] = {'C', 'O', 'M', 'R', 'T', 'T', 'L', 'B'};
constexpr std::size_t header_size = 20;

std::uint32_t fnv1a(std::span<const unsigned char> bytes) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char b : bytes)
        hash = (hash ^ b) * 16777619u;
    return hash;
}

class Writer {
  public:
    void u8(std::uint8_t v) { out.push_back(v); }
    void u16(std::uint16_t v) { le(v, 2); }
    void u32(std::uint32_t v) { le(v, 4); }
    void u64(std::uint64_t v) { le(v, 8); }
    void str(const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        out.insert(out.end(), s.begin(), s.end());
    }
    void guid(const GUID& g) {
        u32(g.Data1), u16(g.Data2), u16(g.Data3);
        out.insert(out.end(), std::begin(g.Data4), std::end(g.Data4));
    }
    void count(std::size_t n) { u32(static_cast<std::uint32_t>(n)); }

    std::vector<unsigned char> out;

  private:
    void le(std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<unsigned char>(v >> (8 * i)));
    }
};

struct Damaged {};  // thrown by Reader, turned into TYPE_E_INVDATAREAD

class Reader {
  public:
    explicit Reader(std::span<const unsigned char> bytes) : rest_(bytes) {}

    std::uint8_t u8() { return static_cast<std::uint8_t>(le(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(le(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(le(4)); }
    std::uint64_t u64() { return le(8); }
    std::string str(std::size_t limit) {
        std::uint32_t n = u32();
        if (n > limit || n > rest_.size())
            throw Damaged{};
        std::string s(reinterpret_cast<const char*>(rest_.data()), n);
        rest_ = rest_.subspan(n);
        return s;
    }
    GUID guid() {
        GUID g;
        g.Data1 = u32(), g.Data2 = u16(), g.Data3 = u16();
        for (auto& b : g.Data4)
            b = u8();
        return g;
    }
    // A count of items, each at least `min_size` bytes: never more than the bytes left allow.
    std::size_t count(std::size_t min_size) {
        std::uint32_t n = u32();
        if (n > tlb_max_items || n > rest_.size() / min_size)
            throw Damaged{};
        return n;
    }
    bool at_end() const { return rest_.empty(); }

  private:
    std::uint64_t le(std::size_t bytes) {
        if (rest_.size() < bytes)
            throw Damaged{};
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < bytes; ++i)
            v |= std::uint64_t{rest_[i]} << (8 * i);
        rest_ = rest_.subspan(bytes);
        return v;
    }
    std::span<const unsigned char> rest_;
};

// Smallest encodings: empty strings, no children.
constexpr std::size_t min_enum = 4 + 16 + 4 + 4, min_const = 4 + 4;
constexpr std::size_t min_itf = 4 + 16 + 4 + 1 + 4, min_func = 4 + 4 + 4 + 4;
constexpr std::size_t min_param = 4 + 2 + 1 + 2 + 8, min_coclass = 4 + 16 + 4 + 1 + 4;

bool bit(std::uint8_t bits, int n) {
    return (bits >> n) & 1;
}

void write_payload(Writer& w, const TypeLibModel& m) {
    w.str(m.name), w.guid(m.libid), w.str(m.help);
    w.u16(m.major_version), w.u16(m.minor_version), w.u32(m.lcid), w.u32(m.syskind);
    w.count(m.enums.size());
    for (const TlbEnum& e : m.enums) {
        w.str(e.name), w.guid(e.guid), w.str(e.help), w.count(e.constants.size());
        for (const TlbEnumConst& c : e.constants)
            w.str(c.name), w.u32(static_cast<std::uint32_t>(c.value));
    }
    w.count(m.interfaces.size());
    for (const TlbInterface& i : m.interfaces) {
        w.str(i.name), w.guid(i.iid), w.str(i.help);
        w.u8(static_cast<std::uint8_t>(i.dual | i.oleautomation << 1 | i.nonextensible << 2));
        w.count(i.funcs.size());
        for (const TlbFunc& f : i.funcs) {
            w.str(f.name), w.u32(static_cast<std::uint32_t>(f.dispid)), w.str(f.help);
            w.count(f.params.size());
            for (const TlbParam& p : f.params) {
                w.str(p.name), w.u16(p.vt), w.u8(p.by_pointer), w.u16(p.flags);
                w.u64(static_cast<std::uint64_t>(p.default_value));
            }
        }
    }
    w.count(m.coclasses.size());
    for (const TlbCoClass& c : m.coclasses) {
        w.str(c.name), w.guid(c.clsid), w.str(c.help);
        w.u8(static_cast<std::uint8_t>(c.creatable | c.default_interface.has_value() << 1));
        w.u32(c.default_interface.value_or(0));
    }
}

TypeLibModel read_payload(Reader& r) {
    TypeLibModel m;
    m.name = r.str(tlb_max_name_length), m.libid = r.guid(), m.help = r.str(tlb_max_help_length);
    m.major_version = r.u16(), m.minor_version = r.u16(), m.lcid = r.u32();
    std::uint32_t syskind = r.u32();
    if (syskind > SYS_WIN64)
        throw Damaged{};
    m.syskind = static_cast<SYSKIND>(syskind);
    for (std::size_t n = r.count(min_enum); n > 0; --n) {
        TlbEnum& e = m.enums.emplace_back();
        e.name = r.str(tlb_max_name_length), e.guid = r.guid(), e.help = r.str(tlb_max_help_length);
        for (std::size_t k = r.count(min_const); k > 0; --k) {
            TlbEnumConst& c = e.constants.emplace_back();
            c.name = r.str(tlb_max_name_length), c.value = static_cast<LONG>(r.u32());
        }
    }
    for (std::size_t n = r.count(min_itf); n > 0; --n) {
        TlbInterface& i = m.interfaces.emplace_back();
        i.name = r.str(tlb_max_name_length), i.iid = r.guid(), i.help = r.str(tlb_max_help_length);
        std::uint8_t bits = r.u8();
        if (bits & ~7u)
            throw Damaged{};
        i.dual = bit(bits, 0), i.oleautomation = bit(bits, 1), i.nonextensible = bit(bits, 2);
        for (std::size_t k = r.count(min_func); k > 0; --k) {
            TlbFunc& f = i.funcs.emplace_back();
            f.name = r.str(tlb_max_name_length), f.dispid = static_cast<DISPID>(r.u32());
            f.help = r.str(tlb_max_help_length);
            for (std::size_t j = r.count(min_param); j > 0; --j) {
                TlbParam& p = f.params.emplace_back();
                p.name = r.str(tlb_max_name_length), p.vt = r.u16();
                std::uint8_t by_pointer = r.u8();
                if (by_pointer > 1)
                    throw Damaged{};
                p.by_pointer = by_pointer != 0;
                p.flags = r.u16(), p.default_value = static_cast<LONGLONG>(r.u64());
            }
        }
    }
    for (std::size_t n = r.count(min_coclass); n > 0; --n) {
        TlbCoClass& c = m.coclasses.emplace_back();
        c.name = r.str(tlb_max_name_length), c.clsid = r.guid(),
        c.help = r.str(tlb_max_help_length);
        std::uint8_t bits = r.u8();
        std::uint32_t index = r.u32();
        if (bits & ~3u || (!(bits & 2) && index != 0))
            throw Damaged{};
        c.creatable = bit(bits, 0);
        if (bits & 2)
            c.default_interface = index;
    }
    if (!r.at_end())
        throw Damaged{};
    return m;
}

}  // namespace

std::vector<unsigned char> write_typelib_image(const TypeLibModel& model) {
    if (FAILED(validate_typelib_model(model)))
        throw std::invalid_argument("type library " + model.name + " is not valid");
    Writer payload;
    write_payload(payload, model);
    Writer w;
    w.out.assign(std::begin(magic), std::end(magic));
    w.u16(typelib_image_version), w.u16(0);
    w.u32(static_cast<std::uint32_t>(payload.out.size())), w.u32(fnv1a(payload.out));
    w.out.insert(w.out.end(), payload.out.begin(), payload.out.end());
    return std::move(w.out);
}

bool looks_like_typelib_image(std::span<const unsigned char> bytes) {
    return bytes.size() >= sizeof magic && std::memcmp(bytes.data(), magic, sizeof magic) == 0;
}

HRESULT read_typelib_image(std::span<const unsigned char> image, TypeLibModel* model) {
    if (model == nullptr)
        return E_POINTER;
    if (!looks_like_typelib_image(image))
        return TYPE_E_UNSUPFORMAT;
    try {
        Reader header(image.subspan(sizeof magic));
        std::uint16_t version = header.u16(), flags = header.u16();
        if (version != typelib_image_version)
            return TYPE_E_UNSUPFORMAT;
        std::uint32_t size = header.u32(), checksum = header.u32();
        if (flags != 0 || image.size() - header_size != size)
            return TYPE_E_INVDATAREAD;
        auto payload = image.subspan(header_size);
        if (fnv1a(payload) != checksum)
            return TYPE_E_INVDATAREAD;
        Reader r(payload);
        TypeLibModel m = read_payload(r);
        if (FAILED(validate_typelib_model(m)))
            return TYPE_E_INVDATAREAD;
        *model = std::move(m);
        return S_OK;
    } catch (const Damaged&) {
        return TYPE_E_INVDATAREAD;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace comrt
