#include "platform/ole/process_state.h"

namespace comrt {

ProcessState& process_state() {
    // A union member is neither constructed nor destroyed unless asked: made here, never
    // destroyed.
    union Holder {
        Holder() : state() {}
        ~Holder() {}
        ProcessState state;
    };
    static Holder holder;
    return holder.state;
}

}  // namespace comrt
