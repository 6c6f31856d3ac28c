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
    : m_state(std::make_unique<state>()), m_status(static_cast<LSTATUS>(ERROR_SUCCESS)) {
    m_state->hive = root == HKEY_CURRENT_USER ? hive_id::user : hive_id::machine;
    if (registry_detail::active_work(m_state->hive) != nullptr)
        return;  // joins the transaction already open on this thread
    m_status = registry_detail::lock_hive(m_state->hive, m_state->lock);
    if (m_status == static_cast<LSTATUS>(ERROR_SUCCESS))
        m_status = registry_detail::load_hive_file(m_state->hive, m_state->work.tree);
    if (m_status != static_cast<LSTATUS>(ERROR_SUCCESS)) {
        m_state->lock.reset();
        return;
    }
    registry_detail::active_work(m_state->hive) = &m_state->work;
    m_state->open = true;
}

registry_transaction::~registry_transaction() {
    if (m_state->open)
        registry_detail::active_work(m_state->hive) = nullptr;
}

LSTATUS registry_transaction::Commit() {
    if (!m_state->open)
        return m_status;
    registry_detail::active_work(m_state->hive) = nullptr;
    m_state->open = false;
    LSTATUS status = static_cast<LSTATUS>(ERROR_SUCCESS);
    if (m_state->work.changed)
        status = registry_detail::write_hive_file(m_state->hive, std::move(m_state->work.tree));
    m_state->lock.reset();
    return status;
}

}  // namespace comrt
