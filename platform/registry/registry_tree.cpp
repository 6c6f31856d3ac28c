#include "platform/registry/registry_tree.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "platform/base/hex_digit.h"

namespace comrt::registry_detail {
namespace {

constexpr std::size_t kMaxKeyName = 255;
constexpr std::string_view kHeader = "; comrt registry hive, format 1\n";

unsigned char fold(unsigned char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Key names: '%' and control bytes as %XX, so every name fits on its header line.
void append_key_name(std::string& out, std::string_view name) {
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || c == '%') {
            out += '%';
            out += kUpperHexDigits[c >> 4];
            out += kUpperHexDigits[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
}

std::optional<std::string> decode_key_name(std::string_view text) {
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            name += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        int hi = hex_digit_value(text[i + 1]), lo = hex_digit_value(text[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        name += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    if (name.empty() || name.size() > kMaxKeyName || name.find('\\') != std::string::npos)
        return std::nullopt;
    return name;
}

// Quoted strings: C escapes for the backslash, the quote and control bytes; other bytes as is.
void append_quoted(std::string& out, std::string_view text) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\x";
                    out += kUpperHexDigits[c >> 4];
                    out += kUpperHexDigits[c & 0xF];
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

// Reads a quoted string at line[pos] (the opening quote); advances pos past the closing one.
std::optional<std::string> read_quoted(std::string_view line, std::size_t& pos) {
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    std::string text;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return text;
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++pos >= line.size())
            return std::nullopt;
        switch (line[pos]) {
            case '\\':
                text += '\\';
                break;
            case '"':
                text += '"';
                break;
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            case 't':
                text += '\t';
                break;
            case 'x': {
                if (pos + 2 >= line.size())
                    return std::nullopt;
                int hi = hex_digit_value(line[pos + 1]), lo = hex_digit_value(line[pos + 2]);
                if (hi < 0 || lo < 0)
                    return std::nullopt;
                text += static_cast<char>(hi * 16 + lo);
                pos += 2;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

// "hex(T):hh,hh,..." for values that are not strings.
std::optional<reg_value> read_hex_value(std::string_view data) {
    constexpr std::string_view prefix = "hex(";
    if (data.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    std::size_t pos = prefix.size();
    std::uint64_t type = 0;
    std::size_t digits = 0;
    for (; pos < data.size() && hex_digit_value(data[pos]) >= 0 && digits < 8; ++pos, ++digits)
        type = type * 16 + static_cast<unsigned>(hex_digit_value(data[pos]));
    if (digits == 0 || data.substr(pos, 2) != "):")
        return std::nullopt;
    pos += 2;
    reg_value value{static_cast<DWORD>(type), {}};
    while (pos < data.size()) {
        if (!value.data.empty()) {
            if (data[pos] != ',')
                return std::nullopt;
            ++pos;
        }
        if (pos + 1 >= data.size())
            return std::nullopt;
        int hi = hex_digit_value(data[pos]), lo = hex_digit_value(data[pos + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        value.data += static_cast<char>(hi * 16 + lo);
        pos += 2;
    }
    return value;
}

void serialize_key(std::string& out, const reg_node& node, std::string& path, bool is_root) {
    if (!is_root || !node.values.empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const auto& [name, value] : node.values) {
            if (name.empty()) {
                out += '@';
            } else {
                append_quoted(out, name);
            }
            out += '=';
            if (value.type == 1) {
                append_quoted(out, value.data);
            } else {
                out += "hex(";
                char type[16];
                std::snprintf(type, sizeof type, "%X", static_cast<unsigned>(value.type));
                out += type;
                out += "):";
                for (std::size_t i = 0; i < value.data.size(); ++i) {
                    auto c = static_cast<unsigned char>(value.data[i]);
                    if (i)
                        out += ',';
                    out += kUpperHexDigits[c >> 4];
                    out += kUpperHexDigits[c & 0xF];
                }
            }
            out += '\n';
        }
        out += '\n';
    }
    for (const auto& [name, child] : node.subkeys) {
        std::size_t mark = path.size();
        if (!is_root)
            path += '\\';
        append_key_name(path, name);
        serialize_key(out, child, path, false);
        path.resize(mark);
    }
}

}  // namespace

bool name_less::operator()(std::string_view a, std::string_view b) const noexcept {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return fold(static_cast<unsigned char>(x)) < fold(static_cast<unsigned char>(y));
    });
}

bool names_equal(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return fold(static_cast<unsigned char>(x)) == fold(static_cast<unsigned char>(y));
           });
}

const reg_node* reg_node::find(const std::vector<std::string>& path) const noexcept {
    const reg_node* node = this;
    for (const auto& name : path) {
        auto it = node->subkeys.find(name);
        if (it == node->subkeys.end())
            return nullptr;
        node = &it->second;
    }
    return node;
}

reg_node* reg_node::find(const std::vector<std::string>& path) noexcept {
    return const_cast<reg_node*>(std::as_const(*this).find(path));
}

reg_node& reg_node::create(const std::vector<std::string>& path) {
    reg_node* node = this;
    for (const auto& name : path) {
        auto it = node->subkeys.find(name);
        if (it == node->subkeys.end())
            it = node->subkeys.emplace(name, reg_node{}).first;
        node = &it->second;
    }
    return *node;
}

std::optional<std::vector<std::string>> split_key_path(const char* subkey_text) {
    const std::string_view subkey = subkey_text == nullptr ? std::string_view{} : subkey_text;
    std::vector<std::string> path;
    if (subkey.empty())
        return path;
    std::size_t start = 0;
    while (true) {
        std::size_t end = subkey.find('\\', start);
        std::string_view name =
            subkey.substr(start, end == std::string_view::npos ? subkey.npos : end - start);
        if (name.empty() || name.size() > kMaxKeyName)
            return std::nullopt;
        path.emplace_back(name);
        if (end == std::string_view::npos)
            return path;
        start = end + 1;
    }
}

std::string serialize_hive(const reg_node& root) {
    std::string out(kHeader);
    std::string path;
    serialize_key(out, root, path, true);
    return out;
}

std::optional<reg_node> parse_hive(std::string_view text, hive_parse_error* error) {
    reg_node root;
    reg_node* current = nullptr;
    std::size_t line_number = 0;
    bool cut = false;  // the line has no line end: the file stops inside it
    constexpr const char* truncated = "truncated: the file ends inside this line";
    auto fail = [&](const char* what) -> std::optional<reg_node> {
        if (error != nullptr)
            *error = {line_number, cut ? truncated : what};
        return std::nullopt;
    };
    while (!text.empty()) {
        ++line_number;
        std::size_t eol = text.find('\n');
        cut = eol == std::string_view::npos;
        std::string_view line = text.substr(0, eol);
        text = cut ? std::string_view{} : text.substr(eol + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 2)
                return fail("key line without its closing ']'");
            std::string_view inner = line.substr(1, line.size() - 2);
            std::vector<std::string> path;
            while (!inner.empty()) {
                std::size_t sep = inner.find('\\');
                auto name = decode_key_name(inner.substr(0, sep));
                if (!name)
                    return fail("bad key name");
                path.push_back(std::move(*name));
                if (sep == std::string_view::npos)
                    break;
                inner = inner.substr(sep + 1);
                if (inner.empty())
                    return fail("bad key name");  // trailing separator
            }
            current = &root.create(path);
            continue;
        }
        if (line.front() != '@' && line.front() != '"')
            return fail("neither a key line \"[...]\" nor a value line");
        if (current == nullptr)
            return fail("a value before any key line");
        std::size_t pos = 0;
        std::string name;
        if (line.front() == '@') {
            pos = 1;
        } else {
            auto quoted = read_quoted(line, pos);
            if (!quoted)
                return fail("bad value name");
            name = std::move(*quoted);
        }
        if (pos >= line.size() || line[pos] != '=')
            return fail("value line without '=' after its name");
        ++pos;
        reg_value value;
        if (pos < line.size() && line[pos] == '"') {
            auto data = read_quoted(line, pos);
            if (!data || pos != line.size())
                return fail("bad string value");
            value.data = std::move(*data);
        } else {
            auto hex = read_hex_value(line.substr(pos));
            if (!hex)
                return fail("bad value");
            value = std::move(*hex);
        }
        current->values.insert_or_assign(std::move(name), std::move(value));
    }
    if (cut)
        return fail(truncated);
    return root;
}

}  // namespace comrt::registry_detail
