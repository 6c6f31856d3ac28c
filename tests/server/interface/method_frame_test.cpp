#include "server/interface/method_frame.h"

#include <gtest/gtest.h>

#include <string>

#include <NTL/ZZ.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "server/interface/call_cancelled.h"
#include "server/interface/messages.h"
#include "tests/support/error_info_probe.h"

namespace {

using kivtest::TakeErrorInfo;
using kivtest::U16;

CComPtr<IErrorInfo> InfoWithDescription(const OLECHAR* text) {
    CComPtr<ICreateErrorInfo> builder;
    CreateErrorInfo(&builder);
    builder->SetDescription(const_cast<LPOLESTR>(text));
    CComPtr<IErrorInfo> info;
    builder.QueryInterface(&info);
    return info;
}

struct Row {
    const char* name;
    std::function<HRESULT()> body;
    HRESULT expected_hr;
    const char* expected_description;  // null: no error information
};

#ifdef _WIN32
// The platform's own message texts: Wine's table words these two differently from Windows'
// ("Out of memory.", "Invalid parameter.").
const std::string kOutOfMemoryText = _com_error(E_OUTOFMEMORY).ErrorMessage();
const std::string kInvalidArgWithInfo =
    std::string(_com_error(E_INVALIDARG).ErrorMessage()) + "; caf\xE9";
#else
const std::string kOutOfMemoryText =
    "Not enough memory resources are available to complete this operation.";
const std::string kInvalidArgWithInfo = "The parameter is incorrect.; caf\xE9";
#endif

TEST(MethodFrame, TranslatesEveryKindOfFailure) {
    const Row rows[] = {
        {"normal return", [] { return S_OK; }, S_OK, nullptr},
        {"body's own status", [] { return S_FALSE; }, S_FALSE, nullptr},
        {"ServiceError", []() -> HRESULT { throw ServiceError(kivmsg::InvalidParameters); },
         DISP_E_EXCEPTION, kivmsg::InvalidParameters},
        {"standard exception", []() -> HRESULT { throw std::runtime_error("stream broke"); },
         DISP_E_EXCEPTION, "stream broke"},
        {"allocation failure", []() -> HRESULT { throw std::bad_alloc(); }, DISP_E_EXCEPTION,
         "std::bad_alloc"},
        {"NTL error", []() -> HRESULT { return NTL::ZZ(7) / NTL::ZZ(0) == 0 ? S_OK : S_FALSE; },
         DISP_E_EXCEPTION, "division by zero in _ntl_gdiv"},
        {"COM error", []() -> HRESULT { throw _com_error(E_OUTOFMEMORY); }, DISP_E_EXCEPTION,
         kOutOfMemoryText.c_str()},
        {"COM error with info",
         []() -> HRESULT {
             throw _com_error(E_INVALIDARG, InfoWithDescription(OLESTR("caf\u00E9")), true);
         },
         DISP_E_EXCEPTION, kInvalidArgWithInfo.c_str()},
        {"COM error without text",
         []() -> HRESULT { throw _com_error(static_cast<HRESULT>(0x80040205)); }, DISP_E_EXCEPTION,
         "IDispatch error #5"},
        {"COM error outside ITF range",
         []() -> HRESULT { throw _com_error(static_cast<HRESULT>(0x80990001)); }, DISP_E_EXCEPTION,
         "Unknown error 0x80990001"},
        {"anything else", []() -> HRESULT { throw 42; }, DISP_E_EXCEPTION, "Errors occurred."},
        {"cancelled call", []() -> HRESULT { throw CallCancelled(); }, RPC_E_CALL_CANCELED,
         nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(MethodFrame(row.body), row.expected_hr);
        auto seen = TakeErrorInfo();
        if (row.expected_description == nullptr) {
            EXPECT_FALSE(seen);
        } else {
            ASSERT_TRUE(seen);
            EXPECT_EQ(seen->description, U16(row.expected_description));
        }
    }
}

TEST(ReportError, SetsDescriptionWithoutSourceWhileUnregistered) {
    EXPECT_EQ(ReportError(kivmsg::NotImplemented), DISP_E_EXCEPTION);
    auto seen = TakeErrorInfo();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->description, OLESTR("Not implemented yet."));
    EXPECT_FALSE(seen->has_source);
}

TEST(ReportError, NullTextIsEPointerAndLeavesErrorInfoAlone) {
    ReportError("earlier");
    EXPECT_EQ(ReportError(nullptr), E_POINTER);
    auto seen = TakeErrorInfo();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->description, OLESTR("earlier"));
}

TEST(ReportError, ConvertsWithTheAnsiCodePageNotUtf8) {
    ReportError("\xC3\xA9 \x80");  // UTF-8 would read the first two bytes as one character
    auto seen = TakeErrorInfo();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->description, OLESTR("\u00C3\u00A9 \u20AC"));
}

// Allocation failures injected into the frame's own work: it must still fail, never throw.
thread_local bool g_fail_allocations = false;

}  // namespace

void* operator new(std::size_t size) {
    if (g_fail_allocations)
        throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
// The replacement new allocates with malloc, so free is the matching release; GCC cannot see
// through the replacement when it inlines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

TEST(MethodFrame, OutOfMemoryWhileBuildingTheTextStillFails) {
    CComPtr<IErrorInfo> info = InfoWithDescription(OLESTR("detail"));
    HRESULT hr = MethodFrame([&]() -> HRESULT {
        g_fail_allocations = true;
        throw _com_error(E_INVALIDARG, info, true);
    });
    g_fail_allocations = false;
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(hr, E_OUTOFMEMORY);
}

}  // namespace
