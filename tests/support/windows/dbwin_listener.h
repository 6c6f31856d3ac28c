#pragma once
// The receiving side of OutputDebugStringA's DBWIN protocol: a 4 KiB shared buffer
// ("DBWIN_BUFFER": the sender's process id, then the text) handed back and forth with two
// events. Windows and Wine both write there when no debugger takes the text first.
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

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
        SetEvent(m_bufferReady);  // ready for the first text
    }
    ~DbwinListener() { Close(); }
    DbwinListener(const DbwinListener&) = delete;
    DbwinListener& operator=(const DbwinListener&) = delete;

    // The next text this process sent, or nullopt when none arrives within `timeout`. The
    // buffer is the whole prefix's: the texts of other processes (test programs running in
    // parallel) are passed over.
    std::optional<std::string> receive(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const DWORD wait = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
            if (WaitForSingleObject(m_dataReady, wait) != WAIT_OBJECT_0)
                return std::nullopt;
            DWORD sender = 0;
            std::memcpy(&sender, m_view, sizeof sender);
            const char* text = m_view + sizeof(DWORD);
            std::string received(text, strnlen(text, kBufferSize - sizeof(DWORD)));
            SetEvent(m_bufferReady);
            if (sender == GetCurrentProcessId())
                return received;
        }
    }

  private:
    static constexpr DWORD kBufferSize = 4096;

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
};

}  // namespace kivtest
