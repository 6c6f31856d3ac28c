#pragma once
// Shared by the registry tests: every test starts (and ends) with two empty hives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry/registry.h"

namespace kivtest {

inline constexpr LSTATUS kRegOk = 0;
inline constexpr LSTATUS reg_status(DWORD code) {
    return static_cast<LSTATUS>(code);
}

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class EmptyHives : public ::testing::Test {
  protected:
    void SetUp() override {
        std::error_code ignored;
        std::filesystem::remove(comrt::machine_hive_path(), ignored);
        std::filesystem::remove(comrt::user_hive_path(), ignored);
    }
    void TearDown() override { SetUp(); }
};

}  // namespace kivtest
