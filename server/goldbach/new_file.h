#pragma once
// Writes a whole file under a name that no other file has, so that it never replaces another
// file and readers never see it incomplete: the bytes go to a temporary file in the same
// folder, which takes the first free name only after every write, the flush to disk and the
// close succeeded. Taking the name is one exclusive step, so two writers racing for it (in
// any processes) end with two files. On any failure the temporary file is removed and the
// folder is left as it was.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

// The system's own separator of a folder and a name: a backslash on Windows, so the paths
// the status text shows read as the system's.
inline constexpr char kPathSeparator =
    static_cast<char>(std::filesystem::path::preferred_separator);

enum class NewFileOutcome {
    Written,
    NotOpened,   // the temporary file could not be created
    NotWritten,  // a write, the flush, the close or taking a name failed
};

// `nameFor(1)`, `nameFor(2)`, ... are the names to try in `folder`, in that order. `path`
// receives the full path of the file written, or, when nothing was written, the path of the
// first name.
NewFileOutcome WriteNewFile(const std::string& folder,
                            const std::function<std::string(unsigned)>& nameFor,
                            std::string_view content, std::string& path);
