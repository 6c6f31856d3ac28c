#include "server/interface/call_progress.h"

namespace {

thread_local ProgressScope* t_scope = nullptr;

}  // namespace

ProgressScope::ProgressScope(ProgressListener& listener)
    : m_listener(listener),
      m_enclosing(t_scope),
      m_started(std::chrono::steady_clock::now()),
      m_nextDue(m_started + kFirstAfter) {
    t_scope = this;
}

ProgressScope::~ProgressScope() {
    t_scope = m_enclosing;
}

bool ProgressReport::Active() noexcept {
    return t_scope != nullptr;
}

void ProgressReport::Begin(const char* activity, const char* unit, double expected,
                           std::string current) {
    ProgressScope* scope = t_scope;
    if (scope == nullptr)
        return;
    scope->m_reading.activity = activity;
    scope->m_reading.unit = unit;
    scope->m_reading.done = 0;
    scope->m_reading.expected = expected;
    scope->m_reading.current = std::move(current);
}

bool ProgressReport::Count(double done, double expected) noexcept {
    ProgressScope* scope = t_scope;
    if (scope == nullptr)
        return false;
    scope->m_reading.done = done;
    if (expected >= 0)
        scope->m_reading.expected = expected;
    return Due();
}

bool ProgressReport::Due() noexcept {
    ProgressScope* scope = t_scope;
    return scope != nullptr && std::chrono::steady_clock::now() >= scope->m_nextDue;
}

void ProgressReport::Send(std::string current) {
    t_scope->m_reading.current = std::move(current);
    SendUnchanged();
}

void ProgressReport::SendUnchanged() {
    ProgressScope* scope = t_scope;
    const auto now = std::chrono::steady_clock::now();
    scope->m_reading.elapsedSeconds = std::chrono::duration<double>(now - scope->m_started).count();
    // The next one counts from the end of this one, so a slow handler is never called back to
    // back; a handler's re-entrant call runs under its own scope and leaves this one alone.
    scope->m_nextDue = now + ProgressScope::kInterval;
    scope->m_listener.OnProgress(scope->m_reading);
    scope->m_nextDue = std::chrono::steady_clock::now() + ProgressScope::kInterval;
}
