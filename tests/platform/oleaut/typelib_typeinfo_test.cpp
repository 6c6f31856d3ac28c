#include <gtest/gtest.h>

#include "tests/platform/oleaut/calc_typelib.h"

namespace {

using namespace calctest;

CComPtr<ITypeLib> CalcLib() {
    CComPtr<ITypeLib> lib = load_calc_lib();
    EXPECT_NE(lib, nullptr);
    return lib;
}

struct Attr {
    explicit Attr(ITypeInfo* info) : info(info) { EXPECT_EQ(info->GetTypeAttr(&attr), S_OK); }
    ~Attr() { info->ReleaseTypeAttr(attr); }
    const TYPEATTR* operator->() const { return attr; }
    ITypeInfo* info;
    TYPEATTR* attr = nullptr;
};

std::u16string Name(ITypeInfo* info, MEMBERID memid = MEMBERID_NIL) {
    _bstr_t name;
    info->GetDocumentation(memid, name.GetAddress(), nullptr, nullptr, nullptr);
    return std::u16string(name.view());
}

TEST(TypeLibInfo, LibraryAttributesAndOrder) {
    auto lib = CalcLib();
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_CalcLib);
    EXPECT_EQ(attr->lcid, LOCALE_NEUTRAL);
    EXPECT_EQ(attr->syskind, SYS_WIN64);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(attr);

    _bstr_t name, doc;
    DWORD context = 9;
    BSTR help_file = reinterpret_cast<BSTR>(1);
    ASSERT_EQ(lib->GetDocumentation(-1, name.GetAddress(), doc.GetAddress(), &context, &help_file),
              S_OK);
    EXPECT_EQ(name.view(), u"CalcLib");
    EXPECT_EQ(doc.view(), u"Calc 1.0 Type Library");
    EXPECT_EQ(context, 0u);
    EXPECT_EQ(help_file, nullptr);

    ASSERT_EQ(lib->GetTypeInfoCount(), 5u);
    const TYPEKIND kinds[] = {TKIND_ENUM, TKIND_DISPATCH, TKIND_DISPATCH, TKIND_DISPATCH,
                              TKIND_COCLASS};
    for (UINT i = 0; i < 5; ++i) {
        TYPEKIND kind;
        ASSERT_EQ(lib->GetTypeInfoType(i, &kind), S_OK);
        EXPECT_EQ(kind, kinds[i]);
    }
    TYPEKIND kind;
    EXPECT_EQ(lib->GetTypeInfoType(5, &kind), TYPE_E_ELEMENTNOTFOUND);
    CComPtr<ITypeInfo> none;
    EXPECT_EQ(lib->GetTypeInfoOfGuid(IID_IDispatch, &none), TYPE_E_ELEMENTNOTFOUND);

    OLECHAR buffer[] = u"icalc";
    BOOL found = FALSE;
    EXPECT_EQ(lib->IsName(buffer, 0, &found), S_OK);
    EXPECT_TRUE(found);
    EXPECT_EQ(std::u16string_view(buffer), u"ICalc");  // the library's spelling
    OLECHAR other[] = u"nothing";
    EXPECT_EQ(lib->IsName(other, 0, &found), S_OK);
    EXPECT_FALSE(found);
}

TEST(TypeLibInfo, DualInterfaceHasDispatchAndVtableViews) {
    auto lib = CalcLib();
    CComPtr<ITypeInfo> dispatch;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ICalc, &dispatch), S_OK);
    const WORD flags =
        TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    {
        Attr a(dispatch);
        EXPECT_EQ(a->guid, IID_ICalc);
        EXPECT_EQ(a->typekind, TKIND_DISPATCH);
        EXPECT_EQ(a->cFuncs, 18);  // IUnknown's 3 and IDispatch's 4 first, as OLE lists them
        EXPECT_EQ(a->cImplTypes, 1);
        EXPECT_EQ(a->cbSizeVft, 7 * sizeof(void*));
        EXPECT_EQ(a->wTypeFlags, flags & ~TYPEFLAG_FOLEAUTOMATION);  // as OLE shows it
        EXPECT_EQ(a->memidConstructor, MEMBERID_NIL);
        EXPECT_EQ(a->cbSizeInstance, sizeof(void*));
    }
    HREFTYPE href;
    ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &href), S_OK);
    CComPtr<ITypeInfo> vtable;
    ASSERT_EQ(dispatch->GetRefTypeInfo(href, &vtable), S_OK);
    {
        Attr a(vtable);
        EXPECT_EQ(a->guid, IID_ICalc);
        EXPECT_EQ(a->typekind, TKIND_INTERFACE);
        EXPECT_EQ(a->cFuncs, 11);
        EXPECT_EQ(a->cbSizeVft, 18 * sizeof(void*));
        EXPECT_EQ(a->wTypeFlags, flags);
    }
    ASSERT_EQ(vtable->GetRefTypeOfImplType(static_cast<UINT>(-1), &href), S_OK);
    CComPtr<ITypeInfo> back;
    ASSERT_EQ(vtable->GetRefTypeInfo(href, &back), S_OK);
    {
        Attr a(back);
        EXPECT_EQ(a->typekind, TKIND_DISPATCH);
    }
    ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &href), S_OK);  // IDispatch, from stdole2
    CComPtr<ITypeInfo> base;
    ASSERT_EQ(vtable->GetRefTypeInfo(href, &base), S_OK);
    EXPECT_EQ(Name(base), u"IDispatch");
    {
        Attr a(base);
        EXPECT_EQ(a->guid, IID_IDispatch);
        EXPECT_EQ(a->typekind, TKIND_INTERFACE);
        EXPECT_EQ(a->cFuncs, 4);
        EXPECT_EQ(a->cbSizeVft, 7 * sizeof(void*));
    }
    CComPtr<ITypeLib> stdole;
    ASSERT_EQ(base->GetContainingTypeLib(&stdole, nullptr), S_OK);
    EXPECT_EQ(Name(base), u"IDispatch");
    ASSERT_EQ(base->GetRefTypeOfImplType(0, &href), S_OK);
    CComPtr<ITypeInfo> unknown;
    ASSERT_EQ(base->GetRefTypeInfo(href, &unknown), S_OK);
    EXPECT_EQ(Name(unknown), u"IUnknown");
    CComPtr<ITypeInfo> none;
    EXPECT_EQ(vtable->GetRefTypeInfo(0xFFFF0000u, &none), TYPE_E_ELEMENTNOTFOUND);

    CComPtr<ITypeLib> containing;
    UINT index = 9;
    ASSERT_EQ(vtable->GetContainingTypeLib(&containing, &index), S_OK);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(containing.get(), lib.get());
}

TEST(TypeLibInfo, FuncDescDescribesTheVtableCall) {
    auto lib = CalcLib();
    CComPtr<ITypeInfo> dispatch, vtable;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ICalc, &dispatch), S_OK);
    HREFTYPE href;
    ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &href), S_OK);
    ASSERT_EQ(dispatch->GetRefTypeInfo(href, &vtable), S_OK);

    FUNCDESC* fd = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(1, &fd), S_OK);  // Describe
    EXPECT_EQ(fd->memid, 2);
    EXPECT_EQ(fd->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(fd->invkind, INVOKE_FUNC);
    EXPECT_EQ(fd->callconv, CC_STDCALL);
    EXPECT_EQ(fd->cParams, 5);
    EXPECT_EQ(fd->cParamsOpt, 0);  // a [defaultvalue] parameter is not counted
    EXPECT_EQ(fd->oVft, 8 * static_cast<SHORT>(sizeof(void*)));
    EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_HRESULT);
    const ELEMDESC* p = fd->lprgelemdescParam;
    EXPECT_EQ(p[0].tdesc.vt, VT_BSTR);
    EXPECT_EQ(p[0].paramdesc.wParamFlags, PARAMFLAG_FIN);
    EXPECT_EQ(p[1].paramdesc.wParamFlags, PARAMFLAG_NONE);
    EXPECT_EQ(p[2].tdesc.vt, VT_PTR);
    EXPECT_EQ(p[2].tdesc.lptdesc->vt, VT_BSTR);
    EXPECT_EQ(p[2].paramdesc.wParamFlags, PARAMFLAG_FOUT);
    EXPECT_EQ(p[3].tdesc.lptdesc->vt, VT_I4);
    EXPECT_EQ(p[4].tdesc.vt, VT_UI4);
    EXPECT_EQ(p[4].paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
    ASSERT_NE(p[4].paramdesc.pparamdescex, nullptr);
    EXPECT_EQ(p[4].paramdesc.pparamdescex->varDefaultValue.vt, VT_UI4);
    EXPECT_EQ(p[4].paramdesc.pparamdescex->varDefaultValue.ulVal, 130u);
    EXPECT_EQ(p[0].paramdesc.pparamdescex, nullptr);
    vtable->ReleaseFuncDesc(fd);

    // The dispatch view hides the retval of Twice and returns its type.
    ASSERT_EQ(dispatch->GetFuncDesc(7 + 4, &fd), S_OK);
    EXPECT_EQ(fd->funckind, FUNC_DISPATCH);
    EXPECT_EQ(fd->cParams, 1);
    EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_I4);
    EXPECT_EQ(fd->oVft, 11 * static_cast<SHORT>(sizeof(void*)));
    dispatch->ReleaseFuncDesc(fd);
    ASSERT_EQ(dispatch->GetFuncDesc(7, &fd), S_OK);  // Add
    EXPECT_EQ(fd->memid, 1);
    EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_VOID);
    dispatch->ReleaseFuncDesc(fd);
    ASSERT_EQ(dispatch->GetFuncDesc(0, &fd), S_OK);  // inherited: IUnknown::QueryInterface
    EXPECT_EQ(fd->memid, 0x60000000);
    EXPECT_EQ(fd->funckind, FUNC_DISPATCH);
    EXPECT_EQ(fd->wFuncFlags, FUNCFLAG_FRESTRICTED);
    EXPECT_EQ(fd->oVft, 0);
    ASSERT_EQ(fd->cParams, 2);
    ASSERT_EQ(fd->lprgelemdescParam[0].tdesc.lptdesc->vt, VT_USERDEFINED);
    CComPtr<ITypeInfo> guid;  // the GUID record of stdole2
    ASSERT_EQ(dispatch->GetRefTypeInfo(fd->lprgelemdescParam[0].tdesc.lptdesc->hreftype, &guid),
              S_OK);
    EXPECT_EQ(Name(guid), u"GUID");
    dispatch->ReleaseFuncDesc(fd);
    EXPECT_EQ(Name(dispatch, 0x60010003), u"Invoke");
    EXPECT_EQ(dispatch->GetFuncDesc(18, &fd), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(fd, nullptr);

    BSTR names[6] = {};
    UINT count = 0;
    ASSERT_EQ(vtable->GetNames(2, names, 6, &count), S_OK);
    ASSERT_EQ(count, 6u);
    const char16_t* expected[] = {u"Describe", u"bstrText", u"lCount",
                                  u"pbstrOut", u"pLen",     u"scale"};
    for (UINT i = 0; i < count; ++i) {
        EXPECT_EQ(std::u16string_view(names[i]), expected[i]);
        SysFreeString(names[i]);
    }
    EXPECT_EQ(vtable->GetNames(77, names, 6, &count), TYPE_E_ELEMENTNOTFOUND);

    _bstr_t doc;
    ASSERT_EQ(dispatch->GetDocumentation(1, nullptr, doc.GetAddress(), nullptr, nullptr), S_OK);
    EXPECT_EQ(doc.view(), u"method Add");
    BSTR no_doc = reinterpret_cast<BSTR>(1);
    ASSERT_EQ(dispatch->GetDocumentation(3, nullptr, &no_doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(no_doc, nullptr);  // Fail has no help string
    EXPECT_EQ(Name(dispatch), u"ICalc");
}

TEST(TypeLibInfo, EnumAndCoclass) {
    auto lib = CalcLib();
    CComPtr<ITypeInfo> modes;
    ASSERT_EQ(lib->GetTypeInfo(0, &modes), S_OK);
    {
        Attr a(modes);
        EXPECT_EQ(a->typekind, TKIND_ENUM);
        EXPECT_EQ(a->guid, GUID_CalcModes);
        EXPECT_EQ(a->cVars, 2);
    }
    VARDESC* vd = nullptr;
    ASSERT_EQ(modes->GetVarDesc(1, &vd), S_OK);
    EXPECT_EQ(vd->varkind, VAR_CONST);
    EXPECT_EQ(vd->elemdescVar.tdesc.vt, VT_INT);
    EXPECT_EQ(vd->lpvarValue->vt, VT_I4);
    EXPECT_EQ(vd->lpvarValue->lVal, 7);
    EXPECT_EQ(Name(modes, vd->memid), u"calcExact");
    modes->ReleaseVarDesc(vd);
    EXPECT_EQ(modes->GetVarDesc(2, &vd), TYPE_E_ELEMENTNOTFOUND);
    _bstr_t help;
    modes->GetDocumentation(MEMBERID_NIL, nullptr, help.GetAddress(), nullptr, nullptr);
    EXPECT_EQ(help.view(), u"Calculation modes");

    CComPtr<ITypeInfo> coclass;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_Calc, &coclass), S_OK);
    {
        Attr a(coclass);
        EXPECT_EQ(a->typekind, TKIND_COCLASS);
        EXPECT_EQ(a->cImplTypes, 3);  // ICalc, ICalc2, and _ICalcEvents as its source
        EXPECT_EQ(a->wTypeFlags, TYPEFLAG_FCANCREATE);
    }
    INT impl_flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(0, &impl_flags), S_OK);
    EXPECT_EQ(impl_flags, IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE href;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &href), S_OK);
    CComPtr<ITypeInfo> itf;
    ASSERT_EQ(coclass->GetRefTypeInfo(href, &itf), S_OK);
    EXPECT_EQ(Name(itf), u"ICalc");
    Attr a(itf);
    EXPECT_EQ(a->typekind, TKIND_DISPATCH);
}

TEST(TypeLibInfo, NotProvidedOperationsSaySo) {
    auto lib = CalcLib();
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfo(1, &info), S_OK);
    ITypeComp* comp = reinterpret_cast<ITypeComp*>(1);
    EXPECT_EQ(info->GetTypeComp(&comp), E_NOTIMPL);
    EXPECT_EQ(comp, nullptr);
    void* address = &comp;
    EXPECT_EQ(info->AddressOfMember(1, INVOKE_FUNC, &address), E_NOTIMPL);
    EXPECT_EQ(info->CreateInstance(nullptr, IID_IUnknown, &address), E_NOTIMPL);
    EXPECT_EQ(lib->FindName(nullptr, 0, nullptr, nullptr, nullptr), E_NOTIMPL);
    CComPtr<IUnknown> unknown;
    EXPECT_EQ(info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    CComPtr<IDispatch> no;
    EXPECT_EQ(info->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&no)), E_NOINTERFACE);
}

}  // namespace
