#pragma once
// Collects the trace lines sent while it lives. The listener's socket holds only a few
// messages, so a second thread takes them as they come.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "tests/support/debug_listener.h"

namespace kivtest {

class TraceCapture {
  public:
    TraceCapture()
        : m_reader([this] {
              using namespace std::chrono_literals;
              for (;;) {
                  auto line = m_listener.receive(100ms);
                  if (line)
                      m_lines.push_back(*line);
                  else if (m_done.load())
                      return;
              }
          }) {}
    ~TraceCapture() { Finish(); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Waits for the lines already sent and returns all of them.
    const std::vector<std::string>& Finish() {
        m_done.store(true);
        if (m_reader.joinable())
            m_reader.join();
        return m_lines;
    }

  private:
    kivtest::DebugListener m_listener;  // bound before anything is traced
    std::atomic<bool> m_done{false};
    std::vector<std::string> m_lines;
    std::thread m_reader;
};

}  // namespace kivtest
