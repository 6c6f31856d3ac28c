#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/win32.h"
#include "tests/support/isolated_env.h"

namespace {

namespace fs = std::filesystem;

// A fresh directory of its own for each test.
std::string FreshDir(const char* name) {
    const std::string dir = kivtest::isolated_root() + "/fs-" + name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void Touch(const std::string& path) {
    std::ofstream(path) << "x";
}

TEST(GetFileAttributesA, TellsDirectoriesFromFiles) {
    const std::string dir = FreshDir("attributes");
    Touch(dir + "/file");
    Touch(dir + "/readonly");
    ::chmod((dir + "/readonly").c_str(), 0444);
    fs::create_directory_symlink(dir, dir + "/link");

    struct Case {
        std::string path;
        DWORD attributes;
        DWORD error;
    };
    const Case cases[] = {
        {dir, FILE_ATTRIBUTE_DIRECTORY, 0},
        {dir + "/link", FILE_ATTRIBUTE_DIRECTORY, 0},
        {dir + "/file", FILE_ATTRIBUTE_NORMAL, 0},
        {dir + "/readonly", FILE_ATTRIBUTE_READONLY, 0},
        {dir + "/missing", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {dir + "/file/below", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {"", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(GetFileAttributesA(c.path.c_str()), c.attributes) << c.path;
        if (c.error != 0) {
            EXPECT_EQ(GetLastError(), c.error) << c.path;
        }
    }
    EXPECT_EQ(GetFileAttributesA(nullptr), INVALID_FILE_ATTRIBUTES);
}

TEST(CreateDirectoryA, CreatesOneLevelOnly) {
    const std::string dir = FreshDir("create");
    Touch(dir + "/file");

    EXPECT_TRUE(CreateDirectoryA((dir + "/KIV").c_str(), nullptr));
    EXPECT_TRUE(fs::is_directory(dir + "/KIV"));

    struct Case {
        std::string path;
        DWORD error;
    };
    const Case cases[] = {
        {dir + "/KIV", ERROR_ALREADY_EXISTS},
        {dir + "/file", ERROR_ALREADY_EXISTS},
        {dir + "/missing/KIV", ERROR_PATH_NOT_FOUND},
        {dir + "/file/KIV", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(CreateDirectoryA(c.path.c_str(), nullptr)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    EXPECT_FALSE(fs::exists(dir + "/missing"));
    EXPECT_FALSE(CreateDirectoryA(nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    alignas(8) char descriptor[64] = {};
    EXPECT_FALSE(CreateDirectoryA((dir + "/secured").c_str(),
                                  reinterpret_cast<LPSECURITY_ATTRIBUTES>(descriptor)));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(fs::exists(dir + "/secured"));
}

TEST(PathRemoveFileSpecA, DropsTheLastComponent) {
    struct Case {
        const char* path;
        const char* folder;
        BOOL removed;
    };
    const Case cases[] = {
        {"/opt/kiv/bin/kiv", "/opt/kiv/bin", TRUE},
        {"/kiv", "/", TRUE},
        {"kiv", "", TRUE},
        {"bin/kiv", "bin", TRUE},
        {"/opt/kiv/", "/opt/kiv", TRUE},
        {"/", "/", FALSE},
        {"", "", FALSE},
    };
    for (const Case& c : cases) {
        char buffer[260];
        std::snprintf(buffer, sizeof buffer, "%s", c.path);
        EXPECT_EQ(PathRemoveFileSpecA(buffer), c.removed) << c.path;
        EXPECT_STREQ(buffer, c.folder) << c.path;
    }
    EXPECT_FALSE(PathRemoveFileSpecA(nullptr));
}

}  // namespace
