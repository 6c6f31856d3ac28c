#pragma once
// The hive files: where they live, a cached read of the current file, and changes made under
// the hive's lock with an atomic replace of the file.
#include <functional>
#include <memory>

#include "platform/base/unique_fd.h"
#include "platform/registry/registry_tree.h"

namespace comrt::registry_detail {

enum class hive_id { machine, user };

// The hive as the file holds it now (re-read only when the file changed); an empty tree when
// the file does not exist. ERROR_BADDB when the file is not a hive; damaged_hives() then says
// what is wrong and where. Inside a transaction of this thread, the transaction's tree.
LONG read_hive(hive_id hive, std::shared_ptr<const reg_node>& snapshot);

// Runs change on a copy of the current hive while holding the hive's lock; when it returns
// ERROR_SUCCESS and sets changed, the copy replaces the file atomically. Concurrent changes
// in any process are serialised by the lock, so none is lost. Inside a transaction of this
// thread, the copy replaces the transaction's tree instead.
LONG modify_hive(hive_id hive, const std::function<LONG(reg_node& root, bool& changed)>& change);

// Takes the hive's writer lock, blocking; released when `lock` closes. The lock file can be
// opened by the hive's owner only, so no other user can hold it against the owner.
LONG lock_hive(hive_id hive, unique_fd& lock);
// The file as it is now, bypassing any transaction. The caller holds the lock when it means
// to write what it read.
LONG load_hive_file(hive_id hive, std::shared_ptr<const reg_node>& snapshot);
// Replaces the file with `tree` atomically; the caller holds the lock.
LONG write_hive_file(hive_id hive, std::shared_ptr<const reg_node> tree);

// The open transaction of this thread on a hive (registry_transaction.h): reads see its tree,
// changes go into it.
struct hive_work {
    std::shared_ptr<const reg_node> tree;
    bool changed = false;
};
hive_work*& active_work(hive_id hive);

}  // namespace comrt::registry_detail
