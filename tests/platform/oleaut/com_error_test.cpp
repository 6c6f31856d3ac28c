// The texts of HRESULTs, and _com_error with its error information.
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

}  // namespace
