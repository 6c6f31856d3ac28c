#pragma once
// PrimeCall: one long call of a Prime object. Its body reads one stop token, fired by either
// of two: the caller hanging up (the runtime's token of the call) or a handler of the Progress
// event setting *pbCancel. Both take the same stop path through the engine; only the answer
// differs: a caller that hung up gets nothing (RPC_E_CALL_CANCELED), one that cancelled gets
// E_ABORT and a text. The call is also the listener of the body's progress readings: it fires
// them as Progress on the sinks of the object's connection point, from this thread only. A
// sink whose call fails (its process gone, RPC_E_DISCONNECTED, any error) is left out for the
// rest of the call, so nothing waits on it twice. Each call has its own token: a cancel never
// outlives its call.
#include <stop_token>
#include <vector>

#include "server/host/connection_point.h"
#include "server/interface/call_cancelled.h"
#include "server/interface/call_progress.h"
#include "server/interface/method_frame.h"

class PrimeCall final : private ProgressListener {
  public:
    // `events` is the object's connection point for _IPrimeEvents; it outlives the call.
    explicit PrimeCall(const ConnectionPoint& events);
    PrimeCall(const PrimeCall&) = delete;
    PrimeCall& operator=(const PrimeCall&) = delete;

    // Runs `body(stop)` in the method frame, with this call's progress listener installed.
    template <class Body>
    HRESULT Run(Body&& body) {
        return MethodFrame([&]() -> HRESULT {
            ProgressScope scope(*this);
            try {
                return body(m_stop.get_token());
            } catch (const CallCancelled&) {
                if (m_cancelledByEvent)
                    throw CallCancelledByEvent();
                throw;
            }
        });
    }

  private:
    struct RequestStop {
        std::stop_source source;
        void operator()() const noexcept { source.request_stop(); }
    };

    void OnProgress(const ProgressReading& reading) override;

    const ConnectionPoint& m_events;
    std::stop_source m_stop;
    std::stop_callback<RequestStop> m_callerGone;  // after m_stop: it forwards into it
    std::vector<DWORD> m_dropped;                  // cookies of sinks that failed
    bool m_cancelledByEvent = false;
};
