#pragma once
// Finding or starting the server process of a class.
#include <string>
#include <vector>

#include "platform/base/guid.h"
#include "platform/base/unique_fd.h"

namespace comrt {

// The class's LocalServer32 command from HKEY_CLASSES_ROOT; REGDB_E_CLASSNOTREG without one.
HRESULT local_server_command(REFCLSID clsid, std::string& command);

// A connection to the running server of `clsid`, starting `command` with -Embedding when none
// runs. Two clients that get here at once start one server. CO_E_SERVER_EXEC_FAILURE when the
// server cannot be started, does not publish the class in time, or another client holds the
// start lock too long (30 s, or COMRT_SPAWN_LOCK_TIMEOUT_MS); CO_E_SERVER_STOPPING when the
// server it started has already served others and stopped (try again). Failures set error
// information that names the directory or file at fault.
HRESULT connect_to_server(REFCLSID clsid, const std::string& command, unique_fd& connection);

// The argument vector of a LocalServer32 command: a quoted or plain program path, then
// blank-separated arguments.
std::vector<std::string> split_command_line(const std::string& command);

}  // namespace comrt
