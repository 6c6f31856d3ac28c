#pragma once
// The receiving side of OutputDebugStringA's DBWIN protocol: a 4 KiB shared buffer
// ("DBWIN_BUFFER": the sender's process id, then the text) handed back and forth with two
// events. Windows and Wine both write there when no debugger takes the text first. The sender
// waits until the buffer is free, so a thread of the listener's own drains it all the time; the
// buffer is the whole prefix's, so texts of other processes are passed over. Two listeners would
// take each other's texts: ctest runs the programs that listen one at a time.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/win32.h"

namespace kivtest {

class DbwinListener {
  public:
    DbwinListener() {
        m_bufferReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
        m_dataReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
        m_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       kBufferSize, "DBWIN_BUFFER");
        if (m_mapping != nullptr)
            m_view = static_cast<const char*>(MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, 0));
        if (m_bufferReady == nullptr || m_dataReady == nullptr || m_view == nullptr) {
            Close();
            throw std::runtime_error("DBWIN buffer unavailable");
        }
        m_drain = std::jthread([this](std::stop_token stop) { Drain(stop); });
    }
    ~DbwinListener() {
        m_drain.request_stop();
        m_drain.join();
        Close();
    }
    DbwinListener(const DbwinListener&) = delete;
    DbwinListener& operator=(const DbwinListener&) = delete;

    // The next text this process sent, or nullopt when none arrives within `timeout`.
    std::optional<std::string> receive(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        if (!m_arrived.wait_for(lock, timeout, [this] { return !m_texts.empty(); }))
            return std::nullopt;
        std::string text = std::move(m_texts.front());
        m_texts.pop_front();
        return text;
    }

  private:
    static constexpr DWORD kBufferSize = 4096;

    void Drain(std::stop_token stop) {
        const DWORD self = GetCurrentProcessId();
        while (!stop.stop_requested()) {
            SetEvent(m_bufferReady);
            if (WaitForSingleObject(m_dataReady, 20) != WAIT_OBJECT_0)
                continue;
            DWORD sender = 0;
            std::memcpy(&sender, m_view, sizeof sender);
            const char* text = m_view + sizeof(DWORD);
            std::string received(text, strnlen(text, kBufferSize - sizeof(DWORD)));
            if (sender != self)
                continue;
            std::lock_guard lock(m_mutex);
            m_texts.push_back(std::move(received));
            m_arrived.notify_one();
        }
    }

    void Close() {
        if (m_view != nullptr)
            UnmapViewOfFile(m_view);
        for (HANDLE handle : {m_mapping, m_dataReady, m_bufferReady})
            if (handle != nullptr)
                CloseHandle(handle);
    }

    HANDLE m_bufferReady = nullptr;
    HANDLE m_dataReady = nullptr;
    HANDLE m_mapping = nullptr;
    const char* m_view = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<std::string> m_texts;
    std::jthread m_drain;  // last: stopped and joined before the rest goes
};

}  // namespace kivtest
