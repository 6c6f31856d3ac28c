#include "platform/ole/call_cancellation.h"

#include "platform/base/hresult.h"
#include "platform/ole/process_state.h"

namespace comrt {
namespace {

thread_local std::stop_token t_current_call;

}  // namespace

CallCancellation::CallCancellation(int fd)
    : watch_id_(process_state().connection_watcher.watch(fd, source_)),
      fd_(fd),
      previous_(std::move(t_current_call)) {
    t_current_call = source_.get_token();
}

CallCancellation::~CallCancellation() {
    t_current_call = std::move(previous_);
    if (watch_id_ != 0)
        process_state().connection_watcher.unwatch(fd_, watch_id_);
}

std::stop_token current_call_stop_token() noexcept {
    return t_current_call;
}

}  // namespace comrt

HRESULT CoTestCancel() {
    return comrt::t_current_call.stop_requested() ? RPC_E_CALL_CANCELED : S_OK;
}
