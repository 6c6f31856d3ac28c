#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

TEST(MessageText, WindowsTextsWithoutTheFinalLineBreak) {
    struct Case {
        HRESULT hr;
        const char* text;
    };
    const Case cases[] = {
        {DISP_E_EXCEPTION, "Exception occurred."},
        {E_POINTER, "Invalid pointer"},
        {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
        {E_NOINTERFACE, "No such interface supported"},
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
        {CO_E_SERVER_EXEC_FAILURE, "Server execution failed"},
        {RPC_E_DISCONNECTED, "The object invoked has disconnected from its clients."},
        {HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER),
         "The data area passed to a system call is too small."},
        {S_OK, "The operation completed successfully."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(com_error_message(c.hr), c.text) << std::hex << c.hr;
}

TEST(MessageText, FallbacksForCodesWithoutText) {
    EXPECT_EQ(com_error_message(hresult(0x80040201)), "IDispatch error #1");
    EXPECT_EQ(com_error_message(hresult(0x8004FFFF)), "IDispatch error #65023");
    EXPECT_EQ(com_error_message(hresult(0x80040200)), "Unknown error 0x80040200");
    EXPECT_EQ(com_error_message(hresult(0x80050000)), "Unknown error 0x80050000");
    EXPECT_EQ(com_error_message(hresult(0xDEADBEEF)), "Unknown error 0xDEADBEEF");
}

TEST(MessageText, FormatMessageKeepsCrLfAndReportsWhyItFails) {
    char buffer[64];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(E_POINTER), 0, buffer, sizeof buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), "Invalid pointer\r\n");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(E_POINTER), 0,
                             buffer, 4, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x80041234, 0, buffer,
                             sizeof buffer, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(E_POINTER),
                             0x0407, buffer, sizeof buffer, nullptr),
              0u);
}

TEST(ComError, CarriesItsErrorInformation) {
    CComPtr<ICreateErrorInfo> builder;
    ASSERT_EQ(CreateErrorInfo(&builder), S_OK);
    builder->SetDescription(const_cast<LPOLESTR>(u"why"));
    IErrorInfo* info = nullptr;
    builder->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    try {
        throw _com_error(E_FAIL, info);  // takes the reference
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_FAIL);
        EXPECT_EQ(e.ErrorMessage(), "Unspecified error");
        EXPECT_EQ(e.Description(), u"why");
    }
}

TEST(Guid, RegistryStringRoundTrip) {
    const GUID g = {0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
    EXPECT_EQ(guid_to_string(g), "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}");
    EXPECT_EQ(guid_from_string("{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}"), g);
    EXPECT_FALSE(guid_from_string("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"));
    EXPECT_FALSE(guid_from_string("{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8FX}"));
}

}  // namespace
