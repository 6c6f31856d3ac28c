// The MSFT reader on widl's own output and on hand-broken copies of it.
#include <gtest/gtest.h>

#include <functional>

#include "platform/oleaut/type_lib_object.h"
#include "platform/oleaut/typelib_msft.h"
#include "platform/oleaut/typelib_tables.h"
#include "tests/platform/oleaut/calc_typelib.h"

namespace {

using comrt::TypeLibModel;
using Bytes = std::vector<unsigned char>;

TypeLibModel Read(const Bytes& bytes) {
    TypeLibModel model;
    EXPECT_EQ(comrt::read_msft_typelib(bytes, &model), S_OK);
    return model;
}

std::int32_t Get(const Bytes& b, std::size_t at) {
    return static_cast<std::int32_t>(b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 |
                                     static_cast<std::uint32_t>(b.at(at + 3)) << 24);
}

void Put(Bytes& b, std::size_t at, std::int32_t value) {
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = static_cast<unsigned char>(static_cast<std::uint32_t>(value) >> (8 * i));
}

// Where things are in a file widl wrote (no help DLL): the header's fields, the segment
// directory, the type infos and their member blocks.
struct Layout {
    explicit Layout(const Bytes& b) : b(b) {}
    std::size_t directory() const { return 0x54 + 4 * static_cast<std::size_t>(Get(b, 0x20)); }
    std::size_t segment(int s) const { return directory() + 16 * static_cast<std::size_t>(s); }
    std::size_t at(int s) const { return static_cast<std::size_t>(Get(b, segment(s))); }
    std::size_t type_info(int i) const { return at(0) + 0x64 * static_cast<std::size_t>(i); }
    std::size_t members(int i) const { return static_cast<std::size_t>(Get(b, type_info(i) + 4)); }
    // The record of member k of type info i (functions first).
    std::size_t record(int i, int k, int count) const {
        std::size_t block = members(i);
        std::size_t arrays = block + 4 + static_cast<std::size_t>(Get(b, block));
        return block + 4 + static_cast<std::size_t>(Get(b, arrays + 4 * (2 * count + k)));
    }
    const Bytes& b;
};

enum Segment {
    typeinfos,
    impinfos,
    impfiles,
    refs,
    guidhash,
    guids,
    namehash,
    names,
    strings,
    typedescs,
    arraydescs,
    custdata,
    cdguids
};

TEST(TypeLibMsft, ReadsWhatWidlWritesOfCalc) {
    const TypeLibModel m = Read(calctest::calc_tlb_bytes());
    EXPECT_EQ(m.name, "CalcLib");
    EXPECT_EQ(m.libid, LIBID_CalcLib);
    EXPECT_EQ(m.help, "Calc 1.0 Type Library");
    EXPECT_EQ(m.major_version, 1);
    EXPECT_EQ(m.syskind, SYS_WIN64);
    ASSERT_EQ(m.types.size(), 5u);
    ASSERT_TRUE(m.idispatch && m.idispatch->imported);
    const comrt::TlbImport& dispatch = m.imports[m.idispatch->index];
    EXPECT_EQ(dispatch.type, IID_IDispatch);
    EXPECT_EQ(dispatch.library, comrt::LIBID_stdole);
    EXPECT_EQ(dispatch.file, "stdole2.tlb");

    const comrt::TlbTypeInfo& calc = m.types[1];
    EXPECT_EQ(calc.kind, TKIND_DISPATCH);
    EXPECT_TRUE(comrt::is_dual(calc));
    ASSERT_EQ(calc.funcs.size(), 11u);
    const comrt::TlbFunc& describe = calc.funcs[1];
    EXPECT_EQ(describe.vtable_offset, 8 * 8);
    ASSERT_EQ(describe.params.size(), 5u);
    EXPECT_EQ(describe.params[2].type.indirections, std::vector<VARTYPE>{VT_PTR});
    EXPECT_EQ(describe.params[2].type.vt, VT_BSTR);
    EXPECT_EQ(describe.params[4].default_value.vt, VT_UI4);
    EXPECT_EQ(describe.params[4].default_value.bits, 130u);
    EXPECT_EQ(calc.funcs[4].params[1].flags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    EXPECT_EQ(m.types[0].vars[1].value.bits, 7u);
    EXPECT_TRUE(comrt::is_dual(m.types[2]));  // ICalc2
    ASSERT_EQ(m.types[2].impls.size(), 1u);
    EXPECT_EQ(m.types[2].impls[0].ref, (comrt::TlbRef{false, 1}));  // derived from ICalc
    EXPECT_EQ(m.types[3].kind, TKIND_DISPATCH);                     // _ICalcEvents
    EXPECT_FALSE(comrt::is_dual(m.types[3]));
    ASSERT_EQ(m.types[4].impls.size(), 3u);
    EXPECT_EQ(m.types[4].impls[0].ref, (comrt::TlbRef{false, 1}));
    EXPECT_EQ(m.types[4].impls[0].flags, IMPLTYPEFLAG_FDEFAULT);
    EXPECT_EQ(m.types[4].impls[2].ref, (comrt::TlbRef{false, 3}));
    EXPECT_EQ(m.types[4].impls[2].flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
}

std::u16string Doc(ITypeInfo* info, MEMBERID memid, DWORD* context = nullptr) {
    _bstr_t name, doc;
    info->GetDocumentation(memid, name.GetAddress(), doc.GetAddress(), context, nullptr);
    return std::u16string(name.view()) + u"/" + std::u16string(doc.view());
}

TEST(TypeLibMsft, ShowsTheOtherKindsAsOleDoes) {
    CComPtr<ITypeLib> lib;
    const Bytes bytes = calctest::file_bytes(KIV_SHAPES_TLB_FILE);
    ASSERT_EQ(comrt::load_type_lib_image(bytes, &lib), S_OK);
    ASSERT_EQ(lib->GetTypeInfoCount(), 7u);
    const TYPEKIND kinds[] = {TKIND_ALIAS,    TKIND_RECORD,   TKIND_ENUM,   TKIND_INTERFACE,
                              TKIND_DISPATCH, TKIND_DISPATCH, TKIND_COCLASS};
    CComPtr<ITypeInfo> infos[7];
    for (UINT i = 0; i < 7; ++i) {
        TYPEKIND kind;
        ASSERT_EQ(lib->GetTypeInfoType(i, &kind), S_OK);
        EXPECT_EQ(kind, kinds[i]) << i;
        ASSERT_EQ(lib->GetTypeInfo(i, &infos[i]), S_OK);
    }
    _bstr_t help_file;
    DWORD context = 0;
    ASSERT_EQ(lib->GetDocumentation(-1, nullptr, nullptr, &context, help_file.GetAddress()), S_OK);
    EXPECT_EQ(help_file.view(), u"shapes.hlp");
    EXPECT_EQ(context, 17u);

    CComPtr<ITypeInfo> none;  // ShapeKind has no GUID, so none finds it
    EXPECT_EQ(lib->GetTypeInfoOfGuid(GUID{}, &none), TYPE_E_ELEMENTNOTFOUND);

    TYPEATTR* attr = nullptr;
    ASSERT_EQ(infos[0]->GetTypeAttr(&attr), S_OK);  // ShapeId: an alias of LONG
    EXPECT_EQ(attr->tdescAlias.vt, VT_I4);
    infos[0]->ReleaseTypeAttr(attr);

    VARDESC* var = nullptr;  // ShapePoint's C array field
    ASSERT_EQ(infos[1]->GetVarDesc(2, &var), S_OK);
    EXPECT_EQ(var->varkind, VAR_PERINSTANCE);
    EXPECT_EQ(var->oInst, 8u);
    ASSERT_EQ(var->elemdescVar.tdesc.vt, VT_CARRAY);
    const ARRAYDESC* array = var->elemdescVar.tdesc.lpadesc;
    EXPECT_EQ(array->tdescElem.vt, VT_UI1);
    ASSERT_EQ(array->cDims, 1);
    EXPECT_EQ(array->rgbounds[0].cElements, 4u);
    infos[1]->ReleaseVarDesc(var);

    // ShapeKind's negative constant, kept in the custom data
    ASSERT_EQ(infos[2]->GetVarDesc(1, &var), S_OK);
    EXPECT_EQ(var->lpvarValue->lVal, -3);
    infos[2]->ReleaseVarDesc(var);

    ASSERT_EQ(infos[5]->GetVarDesc(0, &var), S_OK);  // the dispinterface's property
    EXPECT_EQ(var->varkind, VAR_DISPATCH);
    EXPECT_EQ(var->elemdescVar.tdesc.vt, VT_BSTR);
    EXPECT_EQ(Doc(infos[5], var->memid), u"Name/");
    infos[5]->ReleaseVarDesc(var);
    FUNCDESC* func = nullptr;
    ASSERT_EQ(infos[5]->GetFuncDesc(0, &func), S_OK);
    EXPECT_EQ(func->funckind, FUNC_DISPATCH);
    EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_VOID);
    EXPECT_EQ(func->cParams, 2);
    infos[5]->ReleaseFuncDesc(func);

    ASSERT_EQ(infos[3]->GetFuncDesc(0, &func), S_OK);  // IOutline::Points(SAFEARRAY(BSTR))
    EXPECT_EQ(func->lprgelemdescParam[0].tdesc.vt, VT_SAFEARRAY);
    EXPECT_EQ(func->lprgelemdescParam[0].tdesc.lptdesc->vt, VT_BSTR);
    EXPECT_EQ(func->oVft, 3 * 8);
    infos[3]->ReleaseFuncDesc(func);
    HREFTYPE href = 0;
    CComPtr<ITypeInfo> unknown;
    ASSERT_EQ(infos[3]->GetRefTypeOfImplType(0, &href), S_OK);
    ASSERT_EQ(infos[3]->GetRefTypeInfo(href, &unknown), S_OK);
    EXPECT_EQ(Doc(unknown, MEMBERID_NIL), u"IUnknown/");

    // IShape's dispatch view, after IDispatch's methods: the property accessors share an id;
    // Label's defaults; its lcid parameter is not shown.
    ASSERT_EQ(infos[4]->GetFuncDesc(7 + 0, &func), S_OK);
    EXPECT_EQ(func->invkind, INVOKE_PROPERTYGET);
    EXPECT_EQ(func->cParams, 0);
    ASSERT_EQ(func->elemdescFunc.tdesc.vt, VT_USERDEFINED);
    CComPtr<ITypeInfo> kind;
    ASSERT_EQ(infos[4]->GetRefTypeInfo(func->elemdescFunc.tdesc.hreftype, &kind), S_OK);
    EXPECT_EQ(Doc(kind, MEMBERID_NIL), u"ShapeKind/");
    infos[4]->ReleaseFuncDesc(func);
    EXPECT_EQ(Doc(infos[4], 1, &context), u"Kind/");
    EXPECT_EQ(context, 5u);
    ASSERT_EQ(infos[4]->GetFuncDesc(7 + 1, &func), S_OK);
    EXPECT_EQ(func->invkind, INVOKE_PROPERTYPUT);
    infos[4]->ReleaseFuncDesc(func);
    ASSERT_EQ(infos[4]->GetFuncDesc(7 + 3, &func), S_OK);
    ASSERT_EQ(func->cParams, 3);
    EXPECT_EQ(func->cParamsOpt, 1);
    const ELEMDESC* p = func->lprgelemdescParam;
    EXPECT_EQ(p[0].paramdesc.pparamdescex->varDefaultValue.vt, VT_BSTR);
    EXPECT_EQ(std::u16string_view(p[0].paramdesc.pparamdescex->varDefaultValue.bstrVal), u"none");
    EXPECT_EQ(p[1].tdesc.vt, VT_VARIANT);
    EXPECT_EQ(p[1].paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT);
    EXPECT_EQ(p[2].paramdesc.pparamdescex->varDefaultValue.lVal, -5);
    EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_USERDEFINED);  // the retval: ShapeId
    infos[4]->ReleaseFuncDesc(func);
    ASSERT_EQ(infos[4]->GetFuncDesc(7 + 4, &func), S_OK);  // Attach: a null default pointer
    EXPECT_EQ(func->lprgelemdescParam[0].paramdesc.pparamdescex->varDefaultValue.vt, VT_DISPATCH);
    EXPECT_EQ(func->lprgelemdescParam[0].paramdesc.pparamdescex->varDefaultValue.pdispVal, nullptr);
    infos[4]->ReleaseFuncDesc(func);
    BSTR names[6] = {};
    UINT count = 0;
    ASSERT_EQ(infos[4]->GetNames(3, names, 6, &count), S_OK);
    ASSERT_EQ(count, 4u);
    EXPECT_EQ(std::u16string_view(names[3]), u"offset");
    for (UINT i = 0; i < count; ++i)
        SysFreeString(names[i]);
    ASSERT_EQ(infos[4]->GetNames(1, names, 6, &count), S_OK);  // the put's value is unnamed
    EXPECT_EQ(count, 1u);
    SysFreeString(names[0]);
    HREFTYPE vtable_href = 0;
    CComPtr<ITypeInfo> vtable;
    ASSERT_EQ(infos[4]->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable_href), S_OK);
    ASSERT_EQ(infos[4]->GetRefTypeInfo(vtable_href, &vtable), S_OK);
    ASSERT_EQ(vtable->GetFuncDesc(3, &func), S_OK);
    ASSERT_EQ(func->cParams, 5);
    EXPECT_EQ(func->lprgelemdescParam[3].paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FLCID);
    vtable->ReleaseFuncDesc(func);

    HREFTYPE base = 0;  // a dispinterface derives from IDispatch
    CComPtr<ITypeInfo> dispatch;
    ASSERT_EQ(infos[5]->GetRefTypeOfImplType(0, &base), S_OK);
    ASSERT_EQ(infos[5]->GetRefTypeInfo(base, &dispatch), S_OK);
    EXPECT_EQ(Doc(dispatch, MEMBERID_NIL), u"IDispatch/");

    const INT impl_flags[] = {IMPLTYPEFLAG_FDEFAULT, 0,
                              IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE};
    const char16_t* impl_names[] = {u"IShape/IShape Interface", u"IOutline/",
                                    u"DShapeEvents/Shape events"};
    for (UINT i = 0; i < 3; ++i) {
        INT flags = -1;
        ASSERT_EQ(infos[6]->GetImplTypeFlags(i, &flags), S_OK);
        EXPECT_EQ(flags, impl_flags[i]);
        CComPtr<ITypeInfo> impl;
        ASSERT_EQ(infos[6]->GetRefTypeOfImplType(i, &href), S_OK);
        ASSERT_EQ(infos[6]->GetRefTypeInfo(href, &impl), S_OK);
        EXPECT_EQ(Doc(impl, MEMBERID_NIL), impl_names[i]);
    }
}

// Each a damage to calc.tlb and the refusal it earns.
TEST(TypeLibMsft, RefusesDamagedFiles) {
    const Bytes good = calctest::calc_tlb_bytes();
    ASSERT_FALSE(good.empty());
    const Layout at(good);
    const std::size_t describe = at.record(1, 1, 11), twice = at.record(1, 4, 11);
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        HRESULT expected;
    };
    const Case cases[] = {
        {"empty", [](Bytes& b) { b.clear(); }, TYPE_E_CANTLOADLIBRARY},
        {"another signature", [](Bytes& b) { b[0] = 'X'; }, TYPE_E_CANTLOADLIBRARY},
        {"header cut short", [](Bytes& b) { b.resize(0x40); }, TYPE_E_CANTLOADLIBRARY},
        {"another format version", [](Bytes& b) { Put(b, 4, 0x00010003); }, TYPE_E_UNSUPFORMAT},
        {"directory not marked", [&](Bytes& b) { Put(b, at.segment(typeinfos) + 12, 3); },
         TYPE_E_UNSUPFORMAT},
        {"type infos past the file", [](Bytes& b) { Put(b, 0x20, 3000); }, TYPE_E_INVDATAREAD},
        {"segment past the file",
         [&](Bytes& b) { Put(b, at.segment(names) + 4, static_cast<std::int32_t>(b.size())); },
         TYPE_E_INVDATAREAD},
        {"file cut short", [](Bytes& b) { b.resize(b.size() / 2); }, TYPE_E_INVDATAREAD},
        {"name hash past its table", [&](Bytes& b) { Put(b, at.at(namehash), 0x7FFFFFF0); },
         TYPE_E_INVDATAREAD},
        {"library name past its table", [](Bytes& b) { Put(b, 0x38, 0x10000); },
         TYPE_E_INVDATAREAD},
        {"GUID between entries", [](Bytes& b) { Put(b, 0x08, 4); }, TYPE_E_INVDATAREAD},
        {"help string longer than its table",
         [&](Bytes& b) {
             std::size_t s = at.at(strings) + static_cast<std::size_t>(Get(b, 0x24));
             b[s] = 0xFF, b[s + 1] = 0x7F;
         },
         TYPE_E_INVDATAREAD},
        {"type description naming itself", [&](Bytes& b) { Put(b, at.at(typedescs) + 12, 8); },
         TYPE_E_INVDATAREAD},
        {"C array without its description", [&](Bytes& b) { b[at.at(typedescs) + 8] = VT_CARRAY; },
         TYPE_E_INVDATAREAD},
        {"constants in a record", [&](Bytes& b) { b[at.type_info(0)] = TKIND_RECORD; },
         TYPE_E_INVDATAREAD},
        {"an unknown kind", [&](Bytes& b) { b[at.type_info(0)] = 9; }, TYPE_E_INVDATAREAD},
        {"member block past the file",
         [&](Bytes& b) { Put(b, at.type_info(1) + 4, static_cast<std::int32_t>(b.size() - 8)); },
         TYPE_E_INVDATAREAD},
        {"record longer than its block", [&](Bytes& b) { Put(b, describe, 0x1FFFC); },
         TYPE_E_INVDATAREAD},
        {"more parameters than the record holds", [&](Bytes& b) { b[describe + 20] = 40; },
         TYPE_E_INVDATAREAD},
        {"reference between type infos", [&](Bytes& b) { Put(b, at.at(refs), 0x68); },
         TYPE_E_INVDATAREAD},
        {"reference past the imports", [&](Bytes& b) { Put(b, at.at(refs), 0x65); },
         TYPE_E_INVDATAREAD},
        {"fewer interfaces than counted", [&](Bytes& b) { b[at.type_info(4) + 0x4C] = 4; },
         TYPE_E_INVDATAREAD},
        {"custom data in a loop", [&](Bytes& b) { Put(b, at.at(cdguids) + 0x18 + 8, 0x18); },
         TYPE_E_INVDATAREAD},
        {"default value past the custom data",
         [&](Bytes& b) { Put(b, describe + 0x30, 0x7FFFFF00); }, TYPE_E_INVDATAREAD},
        {"default value of a type not read",
         [&](Bytes& b) {
             Put(b, describe + 0x30, 0);  // the custom data's first value, made a VT_STREAM
             b[at.at(custdata)] = 66;
         },
         TYPE_E_UNSUPFORMAT},
        {"import file name past its table",
         [&](Bytes& b) { b[at.at(impfiles) + 12] = 0xFC, b[at.at(impfiles) + 13] = 0xFF; },
         TYPE_E_INVDATAREAD},
        {"name that is no identifier",
         [&](Bytes& b) { b[at.at(names) + static_cast<std::size_t>(Get(b, 0x38)) + 12] = ' '; },
         TYPE_E_INVDATAREAD},
        {"two types of one name",
         [&](Bytes& b) { Put(b, at.type_info(0) + 0x34, Get(b, at.type_info(1) + 0x34)); },
         TYPE_E_INVDATAREAD},
        {"retval not last", [&](Bytes& b) { b[twice + 0x28] |= 0x8; }, TYPE_E_INVDATAREAD},
    };
    TypeLibModel model;
    ASSERT_EQ(comrt::read_msft_typelib(good, &model), S_OK);
    EXPECT_EQ(comrt::read_msft_typelib(good, nullptr), E_POINTER);
    for (const Case& c : cases) {
        Bytes bytes = good;
        c.damage(bytes);
        EXPECT_EQ(comrt::read_msft_typelib(bytes, &model), c.expected) << c.what;
        EXPECT_EQ(model, TypeLibModel{}) << c.what;
    }
}

}  // namespace
