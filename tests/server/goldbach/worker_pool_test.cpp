#include "server/goldbach/worker_pool.h"

#include <NTL/ZZ.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(WorkerPool, OneThreadRunsTasksInSubmissionOrder) {
    std::vector<int> order;  // touched only by the pool's one thread until the futures deliver
    std::vector<std::future<int>> results;
    {
        WorkerPool pool(1);
        for (int i = 0; i < 50; ++i)
            results.push_back(pool.Submit([i, &order] {
                order.push_back(i);
                return i * i;
            }));
        for (int i = 0; i < 50; ++i)
            EXPECT_EQ(results[i].get(), i * i);
    }
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
}

TEST(WorkerPool, FutureRethrowsWhatEscapedTheTask) {
    WorkerPool pool(2);
    auto failing = pool.Submit([]() -> int { throw std::runtime_error("worker failed"); });
    auto fine = pool.Submit([] { return 7; });
    EXPECT_THROW(failing.get(), std::runtime_error);
    EXPECT_EQ(fine.get(), 7);
}

TEST(WorkerPool, NtlErrorsInATaskBecomeExceptions) {
    WorkerPool pool(1);
    auto bad = pool.Submit([] {
        NTL::ZZ value;
        NTL::conv(value, "not a number");
        return 0;
    });
    EXPECT_THROW(bad.get(), std::exception) << "the pool thread installed the NTL hook";
}

TEST(WorkerPool, DestructorRunsWhatIsQueuedAndJoins) {
    std::atomic<int> ran{0};
    {
        WorkerPool pool(3);
        EXPECT_EQ(pool.Size(), 3u);
        for (int i = 0; i < 100; ++i)
            pool.Submit([&ran] {
                ran.fetch_add(1);
                return 0;
            });
    }
    EXPECT_EQ(ran.load(), 100);
}

TEST(WorkerPool, ZeroThreadsMeansOne) {
    WorkerPool pool(0);
    EXPECT_EQ(pool.Size(), 1u);
    EXPECT_EQ(pool.Submit([] { return 1; }).get(), 1);
    // The machine's processors as the C++ library counts them, not through the platform.
    EXPECT_EQ(WorkerPool::MachineSize(), std::thread::hardware_concurrency());
}

}  // namespace
