// The client's end of a connection against a fake server: replies up to the limit arrive,
// a longer one is refused at its header.
#include "platform/ole/client_connection.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cstring>
#include <future>

#include "platform/ole/wire.h"
#include "tests/support/process.h"

namespace {

TEST(ClientConnection, TakesRepliesUpToTheLimitAndRefusesLongerOnesAtTheHeader) {
    struct Case {
        std::uint32_t announced;
        bool arrives;
    };
    const Case cases[] = {{8, true}, {comrt::wire::max_message + 1, false}};
    for (const Case& c : cases) {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        comrt::unique_fd server{ends[1]};
        comrt::ClientConnection client{comrt::unique_fd{ends[0]}};
        // The fake server's answer waits in the socket: the length, then at most 8 bytes;
        // the connection stays open, so only the header can end a refusal in time.
        std::vector<unsigned char> answer(4);
        std::memcpy(answer.data(), &c.announced, 4);
        answer.insert(answer.end(), 8, 0x5A);
        ASSERT_EQ(::send(server.get(), answer.data(), answer.size(), MSG_NOSIGNAL),
                  ssize_t(answer.size()));
        auto reply = std::async(std::launch::async, [&] { return client.exchange({1, 2, 3}); });
        if (reply.wait_for(5 * kivtest::kOneSecond) != std::future_status::ready) {
            ::shutdown(server.get(), SHUT_RDWR);  // ends the wait
            reply.wait();
            ADD_FAILURE() << c.announced << ": still waiting for the announced bytes";
            continue;
        }
        auto got = reply.get();
        EXPECT_EQ(got.has_value(), c.arrives) << c.announced;
        if (c.arrives && got)
            EXPECT_EQ(*got, std::vector<unsigned char>(8, 0x5A));
        else
            EXPECT_FALSE(client.exchange({1})) << "the connection is given up";
    }
}

}  // namespace
