#include "platform/registry/registrar_script.h"

#include <cctype>

namespace comrt::registrar_detail {
namespace {

using registry_detail::names_equal;

constexpr int kMaxDepth = 32;

struct token {
    std::string text;  // without quotes; '' already turned into '
    bool quoted = false;
    int line = 0;
};

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

class parser {
  public:
    parser(std::string_view script, const replacement_map& replacements)
        : script_(script), replacements_(replacements) {}

    std::optional<std::vector<script_block>> run(std::string& error) {
        std::vector<script_block> blocks;
        if (!tokenize())
            return fail(error);
        while (pos_ < tokens_.size()) {
            const token& root = tokens_[pos_++];
            script_block block{};
            if (root.quoted || !root_of(root.text, block.root)) {
                error_ = "line " + std::to_string(root.line) +
                         ": expected HKCR, HKCU or HKLM, found '" + root.text + "'";
                return fail(error);
            }
            if (!expect("{") || !parse_entries(block.keys, 1, false))
                return fail(error);
            blocks.push_back(std::move(block));
        }
        return blocks;
    }

  private:
    std::optional<std::vector<script_block>> fail(std::string& error) {
        error = error_;
        return std::nullopt;
    }

    bool tokenize() {
        int line = 1;
        std::size_t i = 0;
        while (i < script_.size()) {
            char c = script_[i];
            if (c == '\n')
                ++line;
            if (is_space(c)) {
                ++i;
                continue;
            }
            token t;
            t.line = line;
            if (c == '\'') {
                t.quoted = true;
                for (++i;; ++i) {
                    if (i >= script_.size()) {
                        error_ = "line " + std::to_string(t.line) + ": unterminated quoted text";
                        return false;
                    }
                    if (script_[i] == '\'') {
                        if (i + 1 < script_.size() && script_[i + 1] == '\'') {
                            t.text += '\'';
                            ++i;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (script_[i] == '\n')
                        ++line;
                    t.text += script_[i];
                }
            } else {
                while (i < script_.size() && !is_space(script_[i]))
                    t.text += script_[i++];
            }
            tokens_.push_back(std::move(t));
        }
        return true;
    }

    static bool root_of(std::string_view text, script_root& root) {
        if (names_equal(text, "HKCR") || names_equal(text, "HKEY_CLASSES_ROOT")) {
            root = script_root::classes;
        } else if (names_equal(text, "HKCU") || names_equal(text, "HKEY_CURRENT_USER")) {
            root = script_root::current_user;
        } else if (names_equal(text, "HKLM") || names_equal(text, "HKEY_LOCAL_MACHINE")) {
            root = script_root::local_machine;
        } else {
            return false;
        }
        return true;
    }

    bool is(const token& t, std::string_view word) const {
        return !t.quoted && names_equal(t.text, word);
    }
    bool structural(const token& t) const { return is(t, "{") || is(t, "}") || is(t, "="); }

    bool error_at(const token* t, const std::string& what) {
        int line = t ? t->line : (tokens_.empty() ? 1 : tokens_.back().line);
        error_ = "line " + std::to_string(line) + ": " + what;
        return false;
    }

    const token* next() { return pos_ < tokens_.size() ? &tokens_[pos_++] : nullptr; }
    const token* peek() const { return pos_ < tokens_.size() ? &tokens_[pos_] : nullptr; }

    bool expect(std::string_view word) {
        const token* t = next();
        if (t == nullptr || !is(*t, word))
            return error_at(t, "expected '" + std::string(word) + "'" +
                                   (t ? ", found '" + t->text + "'" : " at the end"));
        return true;
    }

    // Replaces %NAME% and %% in a name or value.
    bool expand(const token& t, std::string& out) {
        out.clear();
        for (std::size_t i = 0; i < t.text.size(); ++i) {
            if (t.text[i] != '%') {
                out += t.text[i];
                continue;
            }
            std::size_t close = t.text.find('%', i + 1);
            if (close == std::string::npos)
                return error_at(&t, "unmatched '%' in '" + t.text + "'");
            std::string_view name(t.text.data() + i + 1, close - i - 1);
            if (name.empty()) {
                out += '%';
            } else {
                auto it = replacements_.find(name);
                if (it == replacements_.end())
                    return error_at(&t, "no replacement for %" + std::string(name) + "%");
                out += it->second;
            }
            i = close;
        }
        return true;
    }

    // "= s 'text'" after a key name or a value name.
    bool parse_assignment(std::string& data) {
        const token* type = next();
        if (type == nullptr || type->quoted || !names_equal(type->text, "s"))
            return error_at(type, "only string values (s) are supported");
        const token* value = next();
        if (value == nullptr || structural(*value))
            return error_at(value, "expected the value text");
        return expand(*value, data);
    }

    bool parse_name(const token* t, std::string& name) {
        if (t == nullptr || structural(*t))
            return error_at(t, "expected a name");
        if (!expand(*t, name))
            return false;
        return true;
    }

    bool parse_entries(std::vector<script_entry>& entries, int depth, bool values_allowed) {
        if (depth > kMaxDepth)
            return error_at(peek(), "keys nested too deeply");
        while (true) {
            const token* t = next();
            if (t == nullptr)
                return error_at(t, "expected '}'");
            if (is(*t, "}"))
                return true;
            script_entry entry;
            if (is(*t, "val")) {
                if (!values_allowed)
                    return error_at(t, "a value needs a key");
                entry.is_value = true;
                if (!parse_name(next(), entry.name) || !expect("="))
                    return false;
                std::string data;
                if (!parse_assignment(data))
                    return false;
                entry.data = std::move(data);
                entries.push_back(std::move(entry));
                continue;
            }
            if (is(*t, "NoRemove")) {
                entry.flag = key_flag::no_remove;
            } else if (is(*t, "ForceRemove")) {
                entry.flag = key_flag::force_remove;
            } else if (is(*t, "Delete")) {
                entry.flag = key_flag::remove;
            }
            const token* name = entry.flag == key_flag::none ? t : next();
            if (!parse_name(name, entry.name))
                return false;
            if (entry.name.empty() || entry.name.size() > 255 ||
                entry.name.find('\\') != std::string::npos)
                return error_at(name, "'" + entry.name + "' is not a key name");
            if (const token* eq = peek(); eq != nullptr && is(*eq, "=")) {
                ++pos_;
                std::string data;
                if (!parse_assignment(data))
                    return false;
                entry.data = std::move(data);
            }
            if (const token* open = peek(); open != nullptr && is(*open, "{")) {
                ++pos_;
                if (!parse_entries(entry.children, depth + 1, true))
                    return false;
            }
            entries.push_back(std::move(entry));
        }
    }

    std::string_view script_;
    const replacement_map& replacements_;
    std::vector<token> tokens_;
    std::size_t pos_ = 0;
    std::string error_;
};

}  // namespace

std::optional<std::vector<script_block>> parse_script(std::string_view script,
                                                      const replacement_map& replacements,
                                                      std::string& error) {
    return parser(script, replacements).run(error);
}

std::optional<std::vector<script_block>> parse_script(
    std::string_view script, const std::map<std::string, std::string>& replacements,
    std::string* diagnostic) {
    replacement_map map(replacements.begin(), replacements.end());
    std::string error;
    auto blocks = parse_script(script, map, error);
    if (!blocks && diagnostic != nullptr)
        *diagnostic = error;
    return blocks;
}

}  // namespace comrt::registrar_detail
