#include <gtest/gtest.h>

#include <thread>

#include "platform/win32.h"

namespace {

CComPtr<IErrorInfo> MakeInfo(const char16_t* description) {
    CComPtr<ICreateErrorInfo> builder;
    EXPECT_EQ(CreateErrorInfo(&builder), S_OK);
    builder->SetDescription(const_cast<LPOLESTR>(description));
    builder->SetSource(const_cast<LPOLESTR>(u"src"));
    CComPtr<IErrorInfo> info;
    EXPECT_EQ(builder.QueryInterface(&info), S_OK);
    return info;
}

std::u16string DescriptionOf(IErrorInfo* info) {
    _bstr_t text;
    info->GetDescription(text.GetAddress());
    return std::u16string(text.view());
}

TEST(ErrorInfo, GetErrorInfoHandsOverAndClears) {
    CComPtr<IErrorInfo> none;
    EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
    EXPECT_EQ(none, nullptr);

    EXPECT_EQ(SetErrorInfo(0, MakeInfo(u"first")), S_OK);
    EXPECT_EQ(SetErrorInfo(0, MakeInfo(u"second")), S_OK);  // replaces
    CComPtr<IErrorInfo> taken;
    ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
    EXPECT_EQ(DescriptionOf(taken), u"second");
    _bstr_t source;
    taken->GetSource(source.GetAddress());
    EXPECT_EQ(source.view(), u"src");

    CComPtr<IErrorInfo> again;
    EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
}

TEST(ErrorInfo, IsPerThread) {
    SetErrorInfo(0, MakeInfo(u"main"));
    HRESULT other = E_FAIL;
    std::thread([&] {
        CComPtr<IErrorInfo> seen;
        other = GetErrorInfo(0, &seen);
    }).join();
    EXPECT_EQ(other, S_FALSE);
    CComPtr<IErrorInfo> mine;
    EXPECT_EQ(GetErrorInfo(0, &mine), S_OK);
}

TEST(ErrorInfo, UnsetFieldsReadAsNull) {
    CComPtr<ICreateErrorInfo> builder;
    ASSERT_EQ(CreateErrorInfo(&builder), S_OK);
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(builder.QueryInterface(&info), S_OK);
    BSTR source = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(info->GetSource(&source), S_OK);
    EXPECT_EQ(source, nullptr);
    GUID guid{1, 2, 3, {4}};
    info->GetGUID(&guid);
    EXPECT_EQ(guid, GUID_NULL);
}

}  // namespace
