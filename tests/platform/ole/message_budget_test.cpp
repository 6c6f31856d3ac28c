#include "platform/ole/message_budget.h"

#include <gtest/gtest.h>

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

}  // namespace
