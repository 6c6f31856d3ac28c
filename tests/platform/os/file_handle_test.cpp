// Files through handles. Windows names only, so the same test runs on Windows (under Wine)
// against the real API and here against the runtime's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32.h"
#include "tests/support/isolated_env.h"

namespace {

namespace fs = std::filesystem;

std::string FreshDir(const char* name) {
    const std::string dir = kivtest::isolated_root() + "/handles-" + name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string Content(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void Put(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// Creates `path` with `content` through a handle; true when every step succeeded.
bool WriteThroughHandle(const std::string& path, const std::string& content) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool wrote =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
        written == content.size();
    const bool flushed = FlushFileBuffers(file) != FALSE;
    return CloseHandle(file) && wrote && flushed;
}

TEST(CreateFileA, CreatesOnlyNewFiles) {
    const std::string dir = FreshDir("create");
    Put(dir + "/taken", "old");
    struct Case {
        std::string name;
        bool created;
        DWORD error;
        std::string content;  // afterwards
    };
    const Case cases[] = {
        {"new", true, 0, "written"},
        {"taken", false, ERROR_FILE_EXISTS, "old"},
    };
    for (const Case& c : cases) {
        const std::string path = dir + "/" + c.name;
        SetLastError(0);
        EXPECT_EQ(WriteThroughHandle(path, "written"), c.created) << c.name;
        if (!c.created) {
            EXPECT_EQ(GetLastError(), c.error) << c.name;
        }
        EXPECT_EQ(Content(path), c.content) << c.name;
    }
}

TEST(CloseHandle, RefusesAHandleClosedBefore) {
    const std::string dir = FreshDir("close");
    HANDLE file = CreateFileA((dir + "/f").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(MoveFileExA, NeverReplacesWithoutBeingAsked) {
    const std::string dir = FreshDir("move");
    struct Case {
        const char* name;
        bool target_exists;
        DWORD flags;
        bool moved;
        std::string target_content;  // afterwards
    };
    const Case cases[] = {
        {"free", false, 0, true, "source"},
        {"free-write-through", false, MOVEFILE_WRITE_THROUGH, true, "source"},
        {"taken", true, MOVEFILE_WRITE_THROUGH, false, "target"},
        {"replaced", true, MOVEFILE_REPLACE_EXISTING, true, "source"},
    };
    for (const Case& c : cases) {
        const std::string source = dir + "/" + c.name + ".src";
        const std::string target = dir + "/" + c.name;
        Put(source, "source");
        if (c.target_exists)
            Put(target, "target");
        SetLastError(0);
        EXPECT_EQ(MoveFileExA(source.c_str(), target.c_str(), c.flags) != FALSE, c.moved) << c.name;
        if (!c.moved) {
            EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS) << c.name;
        }
        EXPECT_EQ(fs::exists(source), !c.moved) << c.name;
        EXPECT_EQ(Content(target), c.target_content) << c.name;
    }
}

TEST(DeleteFileA, RemovesAFileAndReportsAMissingOne) {
    const std::string dir = FreshDir("delete");
    Put(dir + "/f", "x");
    EXPECT_TRUE(DeleteFileA((dir + "/f").c_str()));
    EXPECT_FALSE(fs::exists(dir + "/f"));
    EXPECT_FALSE(DeleteFileA((dir + "/f").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
