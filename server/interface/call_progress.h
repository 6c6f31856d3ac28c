#pragma once
// How a long call tells its caller how far it has come. The method's own thread (the
// apartment's) installs a listener for the call (ProgressScope); the engine and the search move
// the reading on where they already read the call's stop token. A reading reaches the listener
// only on that thread, the first about half a second into the call (a short call sends none)
// and then at most four a second. Worker threads have no listener: they only publish counters
// that the method thread reads. Without a listener a report costs one thread-local read.
#include <chrono>
#include <string>
#include <utility>

struct ProgressReading {
    const char* activity = "";  // what runs: "Goldbach pair search", "trial division", ...
    const char* unit = "";      // what `done` counts: "candidates", "divisors", ...
    double done = 0;
    double expected = 0;  // estimated total; 0 when there is none
    double elapsedSeconds = 0;
    std::string current;  // the value being worked on, as decimal text
};

class ProgressListener {
  public:
    // Runs on the method's thread; may raise, which ends the call as a failure of its own.
    virtual void OnProgress(const ProgressReading& reading) = 0;

  protected:
    ~ProgressListener() = default;
};

// Installs `listener` for this thread while it lives. A call re-entered from a handler installs
// its own and, when it ends, gives the thread back to the enclosing call's.
class ProgressScope {
  public:
    static constexpr std::chrono::milliseconds kFirstAfter{500};
    static constexpr std::chrono::milliseconds kInterval{250};

    explicit ProgressScope(ProgressListener& listener);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

  private:
    friend class ProgressReport;
    ProgressListener& m_listener;
    ProgressScope* m_enclosing;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_nextDue;
    ProgressReading m_reading;
};

// The engine's side: every function does nothing on a thread without a listener.
class ProgressReport {
  public:
    // A new stage of the call: what runs, what it counts, its estimated total and the value.
    static void Begin(const char* activity, const char* unit, double expected,
                      std::string current = {});
    // Moves the reading on; sends it when an event is due, asking `currentText` for the value
    // only then (making the text of a big number is not free).
    template <class CurrentText>
    static void Advance(double done, double expected, CurrentText&& currentText) {
        if (Count(done, expected))
            Send(std::forward<CurrentText>(currentText)());
    }
    static void Advance(double done) {
        if (Count(done, -1))
            SendUnchanged();
    }
    // Inside a long single step: sends the unchanged reading when an event is due, so that
    // the caller still hears (and can cancel) while one exponentiation runs for minutes.
    static void Point() {
        if (Due())
            SendUnchanged();
    }
    static bool Active() noexcept;

  private:
    // Records the counts (`expected` < 0 keeps the estimate); true when an event is due.
    static bool Count(double done, double expected) noexcept;
    static bool Due() noexcept;
    static void Send(std::string current);
    static void SendUnchanged();
};
