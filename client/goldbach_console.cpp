#include "client/goldbach_console.h"

#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include "client/event_subscription.h"
#include "client/progress_line.h"
#include "client/progress_sink.h"
#include "client/search_interrupt.h"
#include "server/interface/iprime.h"

namespace {

// A BSTR's text in the ANSI code page; "" for a null one.
const char* Ansi(const _bstr_t& text) {
    const char* ansi = text;
    return ansi != nullptr ? ansi : "";
}

void WriteComError(std::ostream& out, const _com_error& error) {
    out << error.ErrorMessage() << std::endl;
    CComPtr<IErrorInfo> info;
    info.Attach(error.ErrorInfo());
    if (info != nullptr) {
        _bstr_t description;
        info->GetDescription(description.GetAddress());
        out << Ansi(description) << std::endl;
    }
}

// Activation: the HRESULT of the last step decides; E_NOINTERFACE leaves no interface but
// lets the dialogue run (every request then fails with E_POINTER).
CComPtr<IPrime> Activate() {
    CComPtr<IUnknown> unknown;
    CComPtr<IPrime> prime;
    HRESULT hr = CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IUnknown,
                                  reinterpret_cast<void**>(&unknown));
    if (SUCCEEDED(hr)) {
        hr = OleRun(unknown);
        if (SUCCEEDED(hr))
            hr = unknown.QueryInterface(&prime);
        unknown.Release();
    }
    if (FAILED(hr) && hr != E_NOINTERFACE) {
        // The runtime says why it could not reach the server (a refused directory, a stuck
        // lock file): that text goes with the error.
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) != S_OK)
            info = nullptr;
        throw _com_error(hr, info);
    }
    return prime;
}

// What the event sink reaches while a search runs: the progress line, and Ctrl-C, which only
// a server that sends events can be asked to stop by. It points `current` at itself while it
// lives; its line is erased when it ends, before the answer.
class RunningSearch {
  public:
    RunningSearch(RunningSearch*& current, bool with_events) : m_current(current) {
        if (with_events)
            m_interrupt.emplace();
        m_current = this;
    }
    ~RunningSearch() { m_current = nullptr; }
    RunningSearch(const RunningSearch&) = delete;
    RunningSearch& operator=(const RunningSearch&) = delete;

    bool CancelRequested() const { return m_interrupt && m_interrupt->Requested(); }

    ProgressLine line;

  private:
    RunningSearch*& m_current;
    std::optional<SearchInterrupt> m_interrupt;
};

void Request(IPrime* prime, const std::string& input, std::ostream& out, bool with_events,
             RunningSearch*& current) {
    _bstr_t request(input.c_str());
    if (prime == nullptr)
        _com_issue_error(E_POINTER);
    BSTR first = nullptr, second = nullptr;
    LONG found = 0;
    HRESULT hr;
    {
        RunningSearch search(current, with_events);
        hr = prime->GetGBPairUsingRM(request.GetBSTR(), 0, &first, &second, &found,
                                     kivDefaultThreadsPerCore);
    }
    _bstr_t owned_first(first, false), owned_second(second, false);
    if (FAILED(hr))
        _com_issue_errorex(hr, prime, IID_IPrime);
    if (found == 0) {
        out << "Goldbach Conjecture is false for the even natural number, " << input << std::endl;
        return;
    }
    out << Ansi(owned_first) << " + " << Ansi(owned_second) << std::endl;
}

}  // namespace

int RunGoldbachConsole(std::istream& in, std::ostream& out) {
    CoInitialize(nullptr);
    // The server calls the sink back on this thread while a search runs.
    RunningSearch* current = nullptr;
    ProgressSink sink([&current](const ProgressReport& report) {
        if (current == nullptr)
            return false;
        current->line.Show(FormatProgress(report));
        return current->CancelRequested();
    });
    CComPtr<IPrime> prime;
    std::optional<EventSubscription> events;
    // A console that cannot be written to ends the session through the handlers below.
    auto saved_exceptions = out.exceptions();
    out.exceptions(std::ios::badbit | std::ios::failbit);
    try {
        prime = Activate();
        events.emplace(prime, DIID__IPrimeEvents, static_cast<IDispatch*>(&sink));
        for (;;) {
            out << "Enter a number > 2 (0 to quit): " << std::flush;
            std::string input;
            // The end of the input, or a read that fails, ends the session like 0 does.
            if (!(in >> input) || input == "0") {
                events.reset();
                prime.Release();
                out.exceptions(saved_exceptions);
                CoUninitialize();
                return 0;
            }
            try {
                Request(prime, input, out, events->Connected(), current);
            } catch (const _com_error& error) {
                WriteComError(out, error);
            }
        }
    } catch (const _com_error& error) {
        events.reset();
        prime.Release();
        out.exceptions(std::ios::goodbit);
        WriteComError(out, error);
    } catch (const std::exception& error) {
        events.reset();
        prime.Release();
        out.exceptions(std::ios::goodbit);
        out << error.what() << std::endl;
    } catch (...) {
        events.reset();
        prime.Release();
        out.exceptions(std::ios::goodbit);
        out << "Errors occurred." << std::endl;
    }
    out << "Press any key to continue" << std::endl;
    char key;
    in >> key;
    CoUninitialize();
    return 0;
}
