#pragma once
// Writes a whole file so that readers see either the old file or the complete new one: the
// bytes go to a temporary file in the same folder, which replaces the target only after
// every write, the flush to disk and the close succeeded. On any failure the temporary file
// is removed and the target is left as it was.
#include <string>
#include <string_view>

enum class ReplaceFileOutcome {
    Written,
    NotOpened,   // the temporary file could not be created
    NotWritten,  // a write, the flush, the close or the final rename failed
};

// `path` is the target's full path ('/'-separated). An existing file of that name is replaced.
ReplaceFileOutcome ReplaceFileContent(const std::string& path, std::string_view content);
