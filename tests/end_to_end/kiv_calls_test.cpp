// Calls from another process: error information, null pointers, IDispatch, the wire's safety.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/ole/channel.h"
#include "platform/ole/wire.h"
#include "platform/os/runtime_dir.h"
#include "platform/win32.h"
#include "server/interface/iprime.h"
#include "tests/support/error_info_probe.h"
#include "tests/support/kiv_process.h"
#include "tests/support/registered_server.h"

namespace {

using namespace std::chrono_literals;

void ReportErrorMarker() {
    CComPtr<ICreateErrorInfo> builder;
    CreateErrorInfo(&builder);
    builder->SetDescription(const_cast<LPOLESTR>(u"marker"));
    CComPtr<IErrorInfo> info;
    builder.QueryInterface(&info);
    SetErrorInfo(0, info);
}

class KivCalls : public kivtest::RegisteredServerTest {
  protected:
    void SetUp() override {
        RegisteredServerTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                                   reinterpret_cast<void**>(&prime_)),
                  S_OK);
    }
    void TearDown() override {
        prime_.Release();
        RegisteredServerTest::TearDown();
    }
    CComPtr<IPrime> prime_;
};

TEST_F(KivCalls, IsInt64PrimeThroughTheVtableCarriesSourceAndDescription) {
    LONG ret = 5;
    EXPECT_EQ(prime_->IsInt64Prime(5, 1, 0, &ret), DISP_E_EXCEPTION);
    auto seen = kivtest::TakeErrorInfo();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->description, u"Not implemented yet.");
    EXPECT_EQ(seen->source, u"kiv.Prime.1");
    EXPECT_EQ(prime_->IsInt64Prime(0, 0, 0, nullptr), DISP_E_EXCEPTION);
}

TEST_F(KivCalls, IsInt64PrimeThroughInvoke) {
    CComPtr<IDispatch> dispatch;
    ASSERT_EQ(prime_.QueryInterface(&dispatch), S_OK);
    LPOLESTR name[] = {const_cast<LPOLESTR>(u"IsInt64Prime")};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 2);
    LONG ret = 0;
    VARIANT args[4];
    for (auto& a : args)
        VariantInit(&a);
    args[3].vt = VT_UI8;  // reverse order: ulPrimeNum first
    args[3].ullVal = 5;
    args[2].vt = VT_I4;
    args[2].lVal = 1;
    args[1].vt = VT_I4;
    args[0].vt = VT_BYREF | VT_I4;
    args[0].plVal = &ret;
    DISPPARAMS params{args, nullptr, 4, 0};
    EXCEPINFO excep{};
    EXPECT_EQ(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &excep, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(_bstr_t(excep.bstrDescription, false).view(), u"Not implemented yet.");
    EXPECT_EQ(_bstr_t(excep.bstrSource, false).view(), u"kiv.Prime.1");
    SysFreeString(excep.bstrHelpFile);
    auto seen = kivtest::TakeErrorInfo();
    ASSERT_TRUE(seen) << "the caller's error information is set as well";
    EXPECT_EQ(seen->description, u"Not implemented yet.");
}

TEST_F(KivCalls, NullOutPointerIsEPointerAndLeavesErrorInfoAlone) {
    ReportErrorMarker();
    _bstr_t seven(u"7");
    EXPECT_EQ(prime_->IsPrime(seven.GetBSTR(), kivAKS, 0, nullptr), E_POINTER);
    auto seen = kivtest::TakeErrorInfo();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->description, u"marker");
}

TEST_F(KivCalls, NullInputStringArrivesAsNull) {
    LONG ret = 7;
    EXPECT_EQ(prime_->IsPrime(nullptr, kivAKS, 0, &ret), DISP_E_EXCEPTION);
    EXPECT_EQ(ret, 0);
    auto seen = kivtest::TakeErrorInfo();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->description, u"Invalid parameter(s) specified.");
}

TEST_F(KivCalls, MalformedMessageClosesOnlyThatConnection) {
    std::string path =
        comrt::class_endpoint_path(comrt::runtime_dir_path(), guid_to_string(CLSID_Prime), ".sock");
    // A length one beyond the limit is refused at the header, before any body is sent.
    std::vector<unsigned char> too_long(4);
    const std::uint32_t length = comrt::wire::max_message + 1;
    std::memcpy(too_long.data(), &length, 4);
    for (const std::vector<unsigned char>& junk :
         {std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}, too_long,
          std::vector<unsigned char>{3, 0, 0, 0, 99, 1, 2},
          std::vector<unsigned char>{2, 0, 0, 0, 5, 1}}) {
        comrt::unique_fd raw = comrt::connect_unix(path);
        ASSERT_TRUE(raw);
        timeval limit{5, 0};
        ::setsockopt(raw.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ASSERT_EQ(::send(raw.get(), junk.data(), junk.size(), MSG_NOSIGNAL), ssize_t(junk.size()));
        char byte;
        ssize_t n = ::recv(raw.get(), &byte, 1, 0);
        // A hang-up with bytes of ours still unread reaches us as a reset.
        EXPECT_TRUE(n == 0 || (n < 0 && errno == ECONNRESET)) << "the server hangs up";
    }
    LONG ret = 0;
    _bstr_t three(u"3");
    EXPECT_EQ(prime_->IsPrime(three.GetBSTR(), kivRabin_Miller, 0, &ret), S_OK);
    EXPECT_EQ(ret, 1);
}

TEST_F(KivCalls, StringsSurviveTheTripWhole) {
    BSTR first = nullptr, second = nullptr;
    LONG ret = 0;
    _bstr_t hundred(u"100");
    ASSERT_EQ(prime_->GetGBPairUsingRM(hundred.GetBSTR(), 0, &first, &second, &ret, 130), S_OK);
    EXPECT_EQ(ret, 1);
    EXPECT_EQ(_bstr_t(first, false).view(), u"3");
    EXPECT_EQ(_bstr_t(second, false).view(), u"97");
    _bstr_t embedded(
        std::u16string_view(u"10\0"
                            u"0",
                            4));
    EXPECT_EQ(prime_->GetGBPairUsingRM(embedded.GetBSTR(), 0, &first, &second, &ret, 130),
              DISP_E_EXCEPTION)
        << "the embedded zero reached the server";
}

TEST_F(KivCalls, ForeignUserIsRefused) {
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    std::string dir = comrt::runtime_dir_path();
    std::string path = comrt::class_endpoint_path(dir, guid_to_string(CLSID_Prime), ".sock");
    // Open the way to the socket so only the server's own check stands in between.
    std::vector<std::filesystem::path> opened;
    for (std::filesystem::path p = dir; p != "/tmp" && p != "/"; p = p.parent_path()) {
        std::filesystem::permissions(p, std::filesystem::perms::all);
        opened.push_back(p);
    }
    std::filesystem::permissions(path, std::filesystem::perms::all);
    pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        comrt::unique_fd fd = comrt::connect_unix(path);
        if (!fd)
            ::_exit(4);
        std::vector<unsigned char> request{1};
        comrt::send_message(fd.get(), request);
        ::_exit(comrt::receive_message(fd.get()) ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "connected, then hung up on without a reply";
    for (const auto& p : opened)
        std::filesystem::permissions(p, std::filesystem::perms::owner_all);
}

}  // namespace
