#pragma once
// The version block of an executable: the Linux form of the Windows VERSIONINFO resource. It
// is the section ".comrt.version" holding 8-bit text, one "Name=Value" per line, e.g.
//   FileVersion=5.0.0.1
//   ProductVersion=5.0.0.1
//   InternalName=kiv.exe
//   OriginalFilename=kiv.exe
// Names are letters and digits; values run to the end of the line and hold no control
// characters; each line ends with a line feed (the last one may omit it).
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace comrt {

using VersionBlock = std::map<std::string, std::string, std::less<>>;

// nullopt for a malformed block or a name given twice.
std::optional<VersionBlock> parse_version_block(std::string_view text);
// The block of the executable `file`; nullopt when it has none or it is malformed.
std::optional<VersionBlock> read_version_block(const std::string& file);

}  // namespace comrt
