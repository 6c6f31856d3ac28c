#include "server/host/command_line.h"

#include <cctype>

namespace {

struct Keyword {
    std::string_view text;
    ServerAction action;
};

constexpr Keyword keywords[] = {
    {"UnregServer", ServerAction::UnregServer},
    {"RegServer", ServerAction::RegServer},
    {"UnregServerPerUser", ServerAction::UnregServerPerUser},
    {"RegServerPerUser", ServerAction::RegServerPerUser},
};

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool WordMatches(std::string_view rest, std::string_view keyword) {
    if (rest.size() < keyword.size())
        return false;
    for (std::size_t i = 0; i < keyword.size(); ++i)
        if (Upper(rest[i]) != Upper(keyword[i]))
            return false;
    return rest.size() == keyword.size() || rest[keyword.size()] == ' ' ||
           rest[keyword.size()] == '\t';
}

}  // namespace

ServerAction ScanCommandLine(std::string_view line) {
    for (std::size_t at = line.find_first_of("-/"); at != std::string_view::npos;
         at = line.find_first_of("-/", at + 1)) {
        std::string_view token = line.substr(at + 1);
        for (const Keyword& k : keywords)
            if (WordMatches(token, k.text))
                return k.action;
    }
    return ServerAction::Serve;
}

std::string JoinCommandLine(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        std::string_view arg = argv[i];
        bool quote = arg.find_first_of(" \t") != std::string_view::npos;
        if (quote)
            line += '"';
        line += arg;
        if (quote)
            line += '"';
    }
    return line;
}

int ExitStatusOf(long hr) {
    int low = static_cast<int>(static_cast<unsigned long>(hr) & 0xFFu);
    return hr < 0 && low == 0 ? 255 : low;
}
