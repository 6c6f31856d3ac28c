#pragma once
// WorkerPool: a fixed set of threads that run submitted tasks in submission order. The
// Goldbach search owns one for the length of a call; its destructor joins every thread, so
// nothing of the pool outlives its owner. Each thread installs the NTL error hook once.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

class WorkerPool {
  public:
    // `threads` threads (at least one).
    explicit WorkerPool(std::size_t threads);
    // Waits for the queued tasks to run, then joins the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::size_t Size() const noexcept { return m_threads.size(); }

    // Queues `task`; the future delivers its result or rethrows what escaped it.
    template <class Task>
    auto Submit(Task task) -> std::future<std::invoke_result_t<Task&>> {
        using Result = std::invoke_result_t<Task&>;
        std::packaged_task<Result()> packaged(std::move(task));
        std::future<Result> result = packaged.get_future();
        Enqueue(
            std::packaged_task<void()>([packaged = std::move(packaged)]() mutable { packaged(); }));
        return result;
    }

    // Logical processors online: the natural size of a pool on this machine.
    static std::size_t MachineSize() noexcept;

  private:
    void Enqueue(std::packaged_task<void()> job);
    void Run() noexcept;

    // Guarded by m_mutex: the queue and the shutdown request.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::packaged_task<void()>> m_queue;
    bool m_shuttingDown = false;
    // Written only by the constructor and the destructor.
    std::vector<std::thread> m_threads;
};
