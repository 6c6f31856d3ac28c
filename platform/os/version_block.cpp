#include "platform/os/version_block.h"

#include <algorithm>
#include <new>

#include "platform/os/resource_reader.h"

namespace comrt {
namespace {

bool is_name_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}
bool is_control(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

}  // namespace

std::optional<VersionBlock> parse_version_block(std::string_view text) {
    VersionBlock block;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        std::size_t eq = line.find('=');
        if (eq == 0 || eq == std::string_view::npos)
            return std::nullopt;
        std::string_view name = line.substr(0, eq), value = line.substr(eq + 1);
        if (!std::all_of(name.begin(), name.end(), is_name_char) ||
            std::any_of(value.begin(), value.end(), is_control))
            return std::nullopt;
        if (!block.emplace(std::string(name), std::string(value)).second)
            return std::nullopt;
    }
    return block;
}

std::optional<VersionBlock> read_version_block(const std::string& file) {
    auto bytes = read_resource(file, version_section);
    if (!bytes)
        return std::nullopt;
    try {
        return parse_version_block(
            std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace comrt
