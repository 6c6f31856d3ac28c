#include "platform/oleaut/typelib_msft.h"

#include <algorithm>
#include <new>
#include <utility>

#include "platform/oleaut/msft_file.h"

namespace comrt {
namespace {

constexpr std::int32_t func_record_head = 24;  // size, type, flags, vtable offset, kinds, counts
constexpr std::int32_t var_record_head = 20;
constexpr std::int32_t param_info_size = 12;  // type, name, flags
constexpr std::int32_t func_has_defaults = 0x1000;
constexpr std::int32_t func_has_custdata = 0x80;

// The member block of a type info: the length of the records, the records (functions first),
// then per member its id, its name's offset and its record's offset.
class MemberBlock {
  public:
    MemberBlock(MsftFile& file, std::int32_t offset, std::int32_t count) : f_(file), count_(count) {
        length_ = f_.i32(offset);
        records_ = std::int64_t{offset} + 4;
        if (length_ < 0 || records_ + length_ + std::int64_t{count} * 12 > std::int64_t(f_.size()))
            msft_fail();
    }

    MEMBERID id(std::int32_t k) const { return f_.i32(records_ + length_ + 4 * k); }
    std::string name(std::int32_t k) const {
        return f_.name(f_.i32(records_ + length_ + 4 * (count_ + k)));
    }
    // The record of member k and its length, at least `head` bytes, inside the records.
    std::pair<std::int64_t, std::int32_t> record(std::int32_t k, std::int32_t head) const {
        const std::int32_t at = f_.i32(records_ + length_ + 4 * (2 * count_ + k));
        if (at < 0 || at % 4 != 0 || std::int64_t{at} + head > length_)
            msft_fail();
        const std::int32_t size = f_.i32(records_ + at) & 0xFFFF;
        if (size < head || size % 4 != 0 || std::int64_t{at} + size > length_)
            msft_fail();
        return {records_ + at, size};
    }

  private:
    MsftFile& f_;
    std::int32_t count_;
    std::int32_t length_ = 0;
    std::int64_t records_ = 0;
};

TlbFunc read_func(MsftFile& f, const MemberBlock& block, std::int32_t k) {
    const auto [rec, size] = block.record(k, func_record_head);
    TlbFunc func;
    func.name = block.name(k);
    func.memid = block.id(k);
    const std::int32_t kinds = f.i32(rec + 16);
    const std::int32_t funckind = kinds & 0x7, invkind = (kinds >> 3) & 0xF;
    const std::int32_t callconv = (kinds >> 8) & 0xF;
    if (funckind > FUNC_DISPATCH || callconv >= CC_MAX ||
        (invkind != INVOKE_FUNC && invkind != INVOKE_PROPERTYGET && invkind != INVOKE_PROPERTYPUT &&
         invkind != INVOKE_PROPERTYPUTREF))
        msft_fail();
    func.funckind = static_cast<FUNCKIND>(funckind);
    func.invkind = static_cast<INVOKEKIND>(invkind);
    func.callconv = static_cast<CALLCONV>(callconv);
    func.flags = static_cast<WORD>(f.i32(rec + 8));
    func.vtable_offset = f.i16(rec + 12);
    func.optional_count = f.i16(rec + 22);
    const std::int32_t count = f.i16(rec + 20);
    if (count < 0 || static_cast<std::size_t>(count) > tlb_max_items)
        msft_fail();
    f.spend(1 + static_cast<std::size_t>(count));
    // After the fixed part: optional attributes, the default values (one per parameter, when
    // any has one), then the parameters.
    const std::int64_t params = rec + size - std::int64_t{count} * param_info_size;
    const std::int64_t defaults =
        params - ((kinds & func_has_defaults) ? std::int64_t{count} * 4 : 0);
    const std::int64_t attributes = (defaults - rec - func_record_head) / 4;
    if (defaults < rec + func_record_head)
        msft_fail();
    auto attribute = [&](std::int64_t i) { return i < attributes ? f.i32(rec + 24 + 4 * i) : -1; };
    func.help_context = attributes > 0 ? static_cast<DWORD>(attribute(0)) : 0;
    func.help = f.text(attribute(1));
    if ((kinds & func_has_custdata) != 0)  // the function's, then its parameters'
        for (std::int64_t i = 6; i < std::min<std::int64_t>(attributes, 7 + count); ++i)
            f.check_custdata(attribute(i));
    func.result = f.type(f.i32(rec + 4));
    for (std::int32_t j = 0; j < count; ++j) {
        const std::int64_t info = params + std::int64_t{j} * param_info_size;
        TlbParam& p = func.params.emplace_back();
        p.type = f.type(f.i32(info));
        const std::int32_t name = f.i32(info + 4);
        if (name != -1)  // a property put's value has none
            p.name = f.name(name);
        p.flags = static_cast<USHORT>(f.i32(info + 8));
        if (p.flags & PARAMFLAG_FHASDEFAULT) {
            if (!(kinds & func_has_defaults))
                msft_fail();
            p.default_value = f.value(f.i32(defaults + 4 * j));
        }
    }
    return func;
}

TlbVar read_var(MsftFile& f, const MemberBlock& block, std::int32_t index) {
    const auto [rec, size] = block.record(index, var_record_head);
    f.spend(1);
    TlbVar var;
    var.name = block.name(index);
    var.memid = block.id(index);
    var.type = f.type(f.i32(rec + 4));
    var.flags = static_cast<WORD>(f.i32(rec + 8));
    const std::int32_t varkind = f.i16(rec + 12);
    if (varkind < VAR_PERINSTANCE || varkind > VAR_DISPATCH)
        msft_fail();
    var.varkind = static_cast<VARKIND>(varkind);
    const std::int32_t value = f.i32(rec + 16);
    if (var.varkind == VAR_CONST)
        var.value = f.value(value);
    else
        var.offset = static_cast<ULONG>(value);
    const std::int64_t attributes = (size - var_record_head) / 4;
    if (attributes > 0)
        var.help_context = static_cast<DWORD>(f.i32(rec + 20));
    if (attributes > 1)
        var.help = f.text(f.i32(rec + 24));
    if (attributes > 3)
        f.check_custdata(f.i32(rec + 32));
    return var;
}

// A coclass's interfaces: a chain of {href, flags, custom data, next} in the reference table.
void read_coclass_impls(MsftFile& f, std::int32_t offset, std::int32_t count, TlbTypeInfo& t) {
    for (std::int32_t i = 0; i < count; ++i) {
        if (offset < 0 || offset % 4 != 0)
            msft_fail();
        f.spend(1);
        TlbImpl& impl = t.impls.emplace_back();
        impl.ref = f.ref(f.i32(MsftSegment::refs, offset));
        impl.flags = f.i32(MsftSegment::refs, std::int64_t{offset} + 4);
        f.check_custdata(f.i32(MsftSegment::refs, std::int64_t{offset} + 8));
        offset = f.i32(MsftSegment::refs, std::int64_t{offset} + 12);
    }
}

TlbTypeInfo read_type_info(MsftFile& f, std::int32_t index) {
    const std::int64_t base = f.segment_offset(MsftSegment::typeinfos) +
                              std::int64_t{index} * static_cast<std::int64_t>(msft_typeinfo_size);
    auto word = [&](int k) { return f.i32(base + 4 * k); };
    f.spend(1);
    TlbTypeInfo t;
    const std::int32_t kind = word(0) & 0xF;
    if (kind >= TKIND_MAX)
        msft_fail();
    t.kind = static_cast<TYPEKIND>(kind);
    t.alignment = static_cast<WORD>((word(0) >> 11) & 0x1F);
    t.guid = f.guid(word(11));
    t.flags = static_cast<WORD>(word(12));
    t.name = f.name(word(13));
    t.major_version = static_cast<WORD>(word(14) & 0xFFFF);
    t.minor_version = static_cast<WORD>((word(14) >> 16) & 0xFFFF);
    t.help = f.text(word(15));
    t.help_context = static_cast<DWORD>(word(17));
    f.check_custdata(word(18));
    const std::int32_t impl_count = f.i16(base + 0x4C);
    t.vtable_size = static_cast<WORD>(f.i16(base + 0x4E));
    t.size = static_cast<ULONG>(word(20));
    const std::int32_t datatype = word(21);

    const std::int32_t funcs = word(6) & 0xFFFF, vars = (word(6) >> 16) & 0xFFFF;
    if (static_cast<std::size_t>(funcs) > tlb_max_items ||
        static_cast<std::size_t>(vars) > tlb_max_items || impl_count < 0 ||
        static_cast<std::size_t>(impl_count) > tlb_max_items)
        msft_fail();
    if (funcs + vars > 0) {
        const MemberBlock block(f, word(1), funcs + vars);
        for (std::int32_t k = 0; k < funcs; ++k)
            t.funcs.push_back(read_func(f, block, k));
        for (std::int32_t k = 0; k < vars; ++k)
            t.vars.push_back(read_var(f, block, funcs + k));
    }
    switch (t.kind) {
        case TKIND_COCLASS:
            read_coclass_impls(f, datatype, impl_count, t);
            break;
        case TKIND_INTERFACE:
        case TKIND_DISPATCH:
            // A dispinterface names no base of its own (-1); a dual interface names its base.
            if (impl_count > 1)
                msft_fail();
            if (impl_count == 1 && datatype != -1)
                t.impls.push_back({f.ref(datatype), 0});
            break;
        case TKIND_ALIAS:
            t.alias = f.type(datatype);
            break;
        case TKIND_MODULE:
            f.text(datatype);  // the DLL's name, which the runtime does not call into
            break;
        default:
            break;
    }
    return t;
}

TypeLibModel read_model(std::span<const unsigned char> bytes) {
    MsftFile f(bytes);
    TypeLibModel m;
    m.libid = f.guid(f.header(2));
    m.lcid = static_cast<LCID>(f.header(4));
    const std::int32_t varflags = f.header(5);
    if ((varflags & 0xF) > SYS_WIN64)
        msft_fail();
    m.syskind = static_cast<SYSKIND>(varflags & 0xF);
    m.major_version = static_cast<WORD>(f.header(6) & 0xFFFF);
    m.minor_version = static_cast<WORD>((f.header(6) >> 16) & 0xFFFF);
    m.flags = static_cast<WORD>(f.header(7));
    m.help = f.text(f.header(9));
    m.help_context = static_cast<DWORD>(f.header(11));
    m.name = f.name(f.header(14));
    m.help_file = f.text(f.header(15));
    f.check_custdata(f.header(16));
    if (varflags & 0x100)
        f.text(f.i32(0x54));  // the help string DLL, which the runtime does not use
    const std::int32_t count = f.type_info_count();
    for (std::int32_t i = 0; i < count; ++i)
        m.types.push_back(read_type_info(f, i));
    if (const std::int32_t dispatch = f.header(19); dispatch != -1)
        m.idispatch = f.ref(dispatch);
    m.imports = f.take_imports();
    return m;
}

}  // namespace

bool looks_like_msft_typelib(std::span<const unsigned char> bytes) {
    return bytes.size() >= 4 && bytes[0] == 'M' && bytes[1] == 'S' && bytes[2] == 'F' &&
           bytes[3] == 'T';
}

HRESULT read_msft_typelib(std::span<const unsigned char> bytes, TypeLibModel* model) {
    if (model == nullptr)
        return E_POINTER;
    *model = TypeLibModel{};
    try {
        TypeLibModel read = read_model(bytes);
        if (HRESULT hr = validate_typelib_model(read); FAILED(hr))
            return hr;
        *model = std::move(read);
        return S_OK;
    } catch (const MsftError& e) {
        return e.hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace comrt
