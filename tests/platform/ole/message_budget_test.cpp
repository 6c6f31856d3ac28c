#include "platform/ole/message_budget.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/base/unique_fd.h"
#include "platform/ole/channel.h"

namespace {

using comrt::MessageBudget;

TEST(MessageBudget, ClaimsThatDoNotFitWaitForBytesGivenBack) {
    MessageBudget budget(100);
    int woken_a = 0, woken_b = 0;
    MessageBudget::Waiter a([&] { ++woken_a; });
    MessageBudget::Waiter b([&] { ++woken_b; });

    MessageBudget::Share first = budget.claim(60, a);
    ASSERT_TRUE(first);
    EXPECT_FALSE(budget.claim(60, b)) << "over the limit";
    EXPECT_FALSE(budget.claim(41, b)) << "asking twice queues once";
    MessageBudget::Share second = budget.claim(40, a);
    EXPECT_TRUE(second) << "exactly the limit";
    EXPECT_EQ(budget.in_use(), 100u);

    second.reset();
    EXPECT_EQ(woken_b, 1);
    EXPECT_EQ(woken_a, 0);
    {
        MessageBudget::Waiter gone([] { FAIL() << "a waiter that is gone is never woken"; });
        EXPECT_FALSE(budget.claim(60, gone));
    }
    MessageBudget::Share moved = std::move(first);
    EXPECT_EQ(budget.in_use(), 60u);
    moved.reset();
    EXPECT_EQ(budget.in_use(), 0u);
    EXPECT_EQ(woken_b, 1) << "woken once per wait";
}

// Unfinished messages of every size count: clients that each leave a small message half-sent
// cannot together make the reader hold more than its budget, and the ones that hold a claim
// without sending on are found as stalled.
TEST(MessageBudget, EveryUnfinishedMessageClaimsAndStalledSendersAreFound) {
    MessageBudget budget(100'000);
    struct Peer {
        comrt::unique_fd reader, writer;
        comrt::MessageAssembler assembler;
        explicit Peer(MessageBudget& b) : assembler(&b, [] {}) {
            int fds[2];
            EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
            reader.reset(fds[0]);
            writer.reset(fds[1]);
        }
    };
    std::vector<std::unique_ptr<Peer>> peers;
    std::vector<comrt::MessageAssembler::Status> statuses;
    for (int i = 0; i < 3; ++i) {
        peers.push_back(std::make_unique<Peer>(budget));
        const std::uint32_t length = 40'000;  // small, and half-sent
        unsigned char start[4 + 100] = {};
        std::memcpy(start, &length, 4);
        ASSERT_EQ(::send(peers.back()->writer.get(), start, sizeof start, 0),
                  ssize_t(sizeof start));
        std::vector<unsigned char> message;
        statuses.push_back(peers.back()->assembler.read_from(peers.back()->reader.get(), message));
    }
    using Status = comrt::MessageAssembler::Status;
    EXPECT_EQ(statuses, (std::vector<Status>{Status::more, Status::more, Status::waiting}));
    EXPECT_EQ(budget.in_use(), 80'000u);

    auto later = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    EXPECT_TRUE(peers[0]->assembler.stalled_before(later));
    EXPECT_FALSE(peers[2]->assembler.stalled_before(later)) << "a waiter holds nothing";
    peers[0]->assembler.excuse_until(later);
    EXPECT_FALSE(peers[0]->assembler.stalled_before(later));
}

}  // namespace
