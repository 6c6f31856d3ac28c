#pragma once
// The temporary home of the running test process: HOME and the XDG directories point into it,
// so no test touches the real user's registry, profile or runtime directory.
#include <string>

namespace kivtest {

const std::string& isolated_root();

}  // namespace kivtest
