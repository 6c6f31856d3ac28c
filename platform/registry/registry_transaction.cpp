#include "platform/registry/registry_transaction.h"

#include "platform/registry/registry_hive.h"

namespace comrt {

using registry_detail::hive_id;
using registry_detail::hive_work;

struct registry_transaction::state {
    hive_id hive;
    unique_fd lock;
    hive_work work;
    bool open = false;  // this object installed `work` as the thread's
};

registry_transaction::registry_transaction(HKEY root)
    : state_(std::make_unique<state>()), status_(static_cast<LSTATUS>(ERROR_SUCCESS)) {
    state_->hive = root == HKEY_CURRENT_USER ? hive_id::user : hive_id::machine;
    if (registry_detail::active_work(state_->hive) != nullptr)
        return;  // joins the transaction already open on this thread
    status_ = registry_detail::lock_hive(state_->hive, state_->lock);
    if (status_ == static_cast<LSTATUS>(ERROR_SUCCESS))
        status_ = registry_detail::load_hive_file(state_->hive, state_->work.tree);
    if (status_ != static_cast<LSTATUS>(ERROR_SUCCESS)) {
        state_->lock.reset();
        return;
    }
    registry_detail::active_work(state_->hive) = &state_->work;
    state_->open = true;
}

registry_transaction::~registry_transaction() {
    if (state_->open)
        registry_detail::active_work(state_->hive) = nullptr;
}

LSTATUS registry_transaction::commit() {
    if (!state_->open)
        return status_;
    registry_detail::active_work(state_->hive) = nullptr;
    state_->open = false;
    LSTATUS status = static_cast<LSTATUS>(ERROR_SUCCESS);
    if (state_->work.changed)
        status = registry_detail::write_hive_file(state_->hive, std::move(state_->work.tree));
    state_->lock.reset();
    return status;
}

}  // namespace comrt
