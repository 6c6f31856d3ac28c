#include "server/goldbach/worker_pool.h"

#include "platform/win32.h"
#include "server/interface/ntl_errors.h"

WorkerPool::WorkerPool(std::size_t threads) {
    if (threads == 0)
        threads = 1;
    m_threads.reserve(threads);
    try {
        for (std::size_t i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { Run(); });
    } catch (...) {
        // A thread that cannot be started: stop the ones that did, and fail.
        {
            std::lock_guard lock(m_mutex);
            m_shuttingDown = true;
        }
        m_wake.notify_all();
        for (auto& thread : m_threads)
            thread.join();
        throw;
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(m_mutex);
        m_shuttingDown = true;
    }
    m_wake.notify_all();
    for (auto& thread : m_threads)
        thread.join();
}

std::size_t WorkerPool::MachineSize() noexcept {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

void WorkerPool::Enqueue(std::packaged_task<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void WorkerPool::Run() noexcept {
    UseNtlExceptions();
    for (;;) {
        std::packaged_task<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_shuttingDown || !m_queue.empty(); });
            if (m_queue.empty())
                return;  // shutting down with nothing left to run
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job();  // what the task throws goes into its own future
    }
}
