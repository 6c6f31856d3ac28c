#include "platform/os/environment.h"

#include <cstdlib>

namespace comrt {

std::chrono::milliseconds milliseconds_setting(const char* name,
                                               std::chrono::milliseconds fallback) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        return fallback;
    char* end = nullptr;
    long long ms = std::strtoll(value, &end, 10);
    if (end == value || *end != '\0' || ms <= 0)
        return fallback;
    return std::chrono::milliseconds(ms);
}

}  // namespace comrt
