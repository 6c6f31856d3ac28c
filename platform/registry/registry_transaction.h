#pragma once
// A run of registry changes to one hive that other processes see whole or not at all.
//
// While a registry_transaction lives, it holds the hive's writer lock; every change that this
// thread makes to that hive (through any Reg* function, the registrar or the type library
// registration) goes to a working copy, and this thread's reads see that copy. commit()
// replaces the hive file once with the result. Without commit() nothing is written. Changes
// from other threads and processes wait for the lock; readers keep seeing the old hive until
// the commit. A second transaction on the same hive and thread joins the first.
#include <memory>

#include "platform/registry/registry.h"

namespace comrt {

class registry_transaction {
  public:
    // HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT: the machine hive; HKEY_CURRENT_USER: the
    // user's hive.
    explicit registry_transaction(HKEY root);
    ~registry_transaction();
    registry_transaction(const registry_transaction&) = delete;
    registry_transaction& operator=(const registry_transaction&) = delete;

    // ERROR_SUCCESS, or why the lock could not be taken or the hive not read (ERROR_BADDB
    // for a damaged hive: comrt::damaged_hives() says where). Changes made while the status
    // is a failure go straight to the hive, as without a transaction.
    LSTATUS status() const noexcept { return status_; }
    // Writes the changes made so far, if any, in one atomic replacement; ends the transaction.
    LSTATUS commit();

  private:
    struct state;
    std::unique_ptr<state> state_;
    LSTATUS status_;
};

}  // namespace comrt
