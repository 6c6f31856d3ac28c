// Replies of any size reach their caller: the served Calc answers with texts far larger than a
// socket buffer, to a proxy and to a raw client that reads late.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

#include <chrono>
#include <future>
#include <string>

#include "platform/ole/channel.h"
#include "platform/ole/wire.h"
#include "tests/support/calc_server.h"
#include "tests/support/process.h"

namespace {

using namespace calctest;
using namespace std::chrono_literals;

constexpr std::u16string_view kPiece = u"0123456789abcdef";

class ServerReply : public kivtest::CalcServerTest {
  protected:
    void SetUp() override {
        CalcServerTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_ICalc,
                                   reinterpret_cast<void**>(&calc_)),
                  S_OK);
        server_ = kivtest::ClassServerPid(CLSID_Calc);
        ASSERT_GT(server_, 0);
    }
    void TearDown() override {
        calc_.Release();
        CalcServerTest::TearDown();
    }
    CComPtr<ICalc> calc_;
    pid_t server_ = -1;
};

// The text of Describe(kPiece, count).
bool IsRepeatedPiece(std::u16string_view text, LONG count) {
    if (text.size() != kPiece.size() * static_cast<std::size_t>(count))
        return false;
    for (std::size_t at = 0; at < text.size(); at += kPiece.size())
        if (text.substr(at, kPiece.size()) != kPiece)
            return false;
    return true;
}

TEST_F(ServerReply, LargeRepliesArriveWhole) {
    _bstr_t piece(kPiece);
    // 32 bytes, 2 MiB and 16 MiB of text: the last two far beyond a socket's buffer.
    for (LONG count : {1, 1 << 16, 1 << 19}) {
        BSTR out = nullptr;
        LONG length = 0;
        ASSERT_EQ(calc_->Describe(piece.GetBSTR(), count, &out, &length, 1), S_OK) << count;
        _bstr_t text(out, false);
        EXPECT_EQ(length, count * static_cast<LONG>(kPiece.size()));
        EXPECT_TRUE(IsRepeatedPiece(text.view(), count)) << count;
    }
}

TEST_F(ServerReply, AReplyOverTheLimitFailsTheCallAndTheConnectionGoesOn) {
    _bstr_t piece(kPiece);
    // 2^23 pieces of 32 bytes: 256 MiB, over the message limit.
    BSTR out = nullptr;
    LONG length = 0;
    EXPECT_EQ(calc_->Describe(piece.GetBSTR(), 1 << 23, &out, &length, 1), E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(calc_->Describe(piece.GetBSTR(), 1, &out, &length, 1), S_OK);
    SysFreeString(out);
}

// Sends `request` on a raw connection and returns the reply read whole within `limit`.
std::optional<std::vector<unsigned char>> ReadReply(int fd, std::chrono::milliseconds limit) {
    timeval tv{static_cast<time_t>(limit.count() / 1000),
               static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return comrt::receive_message(fd);
}

TEST_F(ServerReply, AClientThatDoesNotReadHoldsUpNobody) {
    comrt::unique_fd raw = comrt::connect_unix(kivtest::ClassSocket(CLSID_Calc));
    ASSERT_TRUE(raw);
    comrt::wire::Writer create;
    create.put(comrt::wire::Op::CreateInstance);
    create.put_guid(CLSID_Calc);
    create.put_guid(IID_ICalc);
    create.put<std::uint8_t>(0);
    ASSERT_TRUE(comrt::send_message(raw.get(), create.bytes()));
    auto created = ReadReply(raw.get(), 5 * kivtest::kOneSecond);
    ASSERT_TRUE(created);
    comrt::wire::Reader in(*created);
    ASSERT_EQ(in.get<HRESULT>(), S_OK);
    auto id = in.get<std::uint32_t>();

    // Describe (vtable slot 8) of 2^20 pieces: a 32 MiB reply that this client leaves unread.
    const LONG count = 1 << 20;
    comrt::wire::Writer call;
    call.put(comrt::wire::Op::Call);
    call.put<std::uint32_t>(id);
    call.put_guid(IID_ICalc);
    call.put<USHORT>(8);
    call.put_text(kPiece.data(), static_cast<std::uint32_t>(kPiece.size()));
    call.put<LONG>(count);
    call.put<std::uint8_t>(1);  // pbstrOut, out only
    call.put<std::uint8_t>(1);  // pLen, out only
    call.put<ULONG>(1);
    ASSERT_TRUE(comrt::send_message(raw.get(), call.bytes()));

    // Meanwhile another client is served; bounded, so a blocked server fails the test.
    auto other = std::async(std::launch::async, [&] {
        CoInitialize(nullptr);
        CComPtr<ICalc> calc;
        LONG sum = 0;
        HRESULT hr = CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_ICalc,
                                      reinterpret_cast<void**>(&calc));
        if (SUCCEEDED(hr))
            hr = calc->Add(2, 3, &sum);
        calc.Release();
        CoUninitialize();
        return SUCCEEDED(hr) ? sum : -1;
    });
    if (other.wait_for(5 * kivtest::kOneSecond) != std::future_status::ready) {
        ::kill(server_, SIGKILL);  // frees the waiting call
        other.wait();
        FAIL() << "the server waited for a client that does not read";
    }
    EXPECT_EQ(other.get(), 5);

    // The reply was kept for the late reader, whole.
    auto reply = ReadReply(raw.get(), 5 * kivtest::kOneSecond);
    ASSERT_TRUE(reply) << "the reply was lost";
    comrt::wire::Reader out(*reply);
    EXPECT_EQ(out.get<HRESULT>(), S_OK);
    auto text = out.get_text();
    ASSERT_TRUE(text);
    EXPECT_TRUE(IsRepeatedPiece(*text, count));
    EXPECT_EQ(out.get<LONG>(), count * static_cast<LONG>(kPiece.size()));
}

}  // namespace
