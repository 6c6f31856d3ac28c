#pragma once
// The hive files: where they live, a cached read of the current file, and changes made under
// the hive's lock with an atomic replace of the file.
#include <functional>
#include <memory>
#include <string>

#include "platform/com/registry_tree.h"

namespace comrt::registry_detail {

enum class hive_id { machine, user };

std::string hive_path(hive_id hive);

// The hive as the file holds it now (re-read only when the file changed); an empty tree when
// the file does not exist. ERROR_BADDB when the file is not a hive.
LONG read_hive(hive_id hive, std::shared_ptr<const reg_node>& snapshot);

// Runs change on a copy of the current hive while holding the hive's lock; when it returns
// ERROR_SUCCESS and sets changed, the copy replaces the file atomically. Concurrent changes
// in any process are serialised by the lock, so none is lost.
LONG modify_hive(hive_id hive, const std::function<LONG(reg_node& root, bool& changed)>& change);

}  // namespace comrt::registry_detail
