#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <string>

#include "platform/win32.h"
#include "tests/support/scoped_env.h"

namespace {

using kivtest::ScopedEnv;

// The profile directory through a fresh token, or the last error.
struct ProfileLookup {
    BOOL ok = FALSE;
    std::string directory;
    DWORD size = 0;
    DWORD error = 0;
};

ProfileLookup LookUpProfile(DWORD bufferSize = 260) {
    ProfileLookup lookup;
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    std::string buffer(bufferSize, '\x7f');
    lookup.size = bufferSize;
    SetLastError(0);
    lookup.ok = GetUserProfileDirectoryA(token, bufferSize ? buffer.data() : nullptr, &lookup.size);
    lookup.error = GetLastError();
    if (lookup.ok)
        lookup.directory = buffer.c_str();
    EXPECT_TRUE(CloseHandle(token));
    return lookup;
}

std::string PasswordHome() {
    passwd* entry = getpwuid(geteuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

TEST(ProcessToken, OpensOnlyForTheCurrentProcessAndClosesOnce) {
    HANDLE first = nullptr, second = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &first));
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &second));
    EXPECT_NE(first, second);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(comrt::token_user(first), geteuid());
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_EQ(comrt::token_user(first), std::nullopt);
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(first)) << "already closed";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(GetCurrentProcess())) << "the pseudo handle needs no closing";

    HANDLE token = nullptr;
    SetLastError(0);
    EXPECT_FALSE(OpenProcessToken(nullptr, TOKEN_QUERY, &token));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(token, nullptr);
    EXPECT_FALSE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(GetUserProfileDirectoryA, IsHomeWhenSet) {
    ScopedEnv home("HOME", "/srv/profiles/ana");
    ProfileLookup lookup = LookUpProfile();
    ASSERT_TRUE(lookup.ok) << lookup.error;
    EXPECT_EQ(lookup.directory, "/srv/profiles/ana");
    EXPECT_EQ(lookup.size, 18u) << "length with the terminator";
}

TEST(GetUserProfileDirectoryA, FallsBackToThePasswordEntry) {
    const std::string expected = PasswordHome();
    if (expected.empty())
        GTEST_SKIP() << "this user has no password entry";
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnv home("HOME", value);
        ProfileLookup lookup = LookUpProfile();
        ASSERT_TRUE(lookup.ok) << lookup.error;
        EXPECT_EQ(lookup.directory, expected);
    }
}

TEST(GetUserProfileDirectoryA, ReportsTheSizeNeededForAShortBuffer) {
    ScopedEnv home("HOME", "/srv/profiles/ana");  // 17 characters
    struct Case {
        DWORD buffer;
        BOOL ok;
    };
    for (Case c : {Case{0, FALSE}, Case{1, FALSE}, Case{17, FALSE}, Case{18, TRUE}}) {
        ProfileLookup lookup = LookUpProfile(c.buffer);
        EXPECT_EQ(lookup.ok, c.ok) << c.buffer;
        EXPECT_EQ(lookup.size, 18u) << c.buffer;
        if (!c.ok) {
            EXPECT_EQ(lookup.error, ERROR_INSUFFICIENT_BUFFER);
        }
    }
    // The profile of a user whose home is longer than MAX_PATH does not fit the usual buffer.
    ScopedEnv longHome("HOME", ("/" + std::string(300, 'h')).c_str());
    ProfileLookup lookup = LookUpProfile(260);
    EXPECT_FALSE(lookup.ok);
    EXPECT_EQ(lookup.error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(lookup.size, 302u);
}

TEST(GetUserProfileDirectoryA, RefusesBadHandlesAndSizes) {
    char buffer[260];
    DWORD size = sizeof buffer;
    SetLastError(0);
    EXPECT_FALSE(GetUserProfileDirectoryA(GetCurrentProcess(), buffer, &size));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(GetUserProfileDirectoryA(nullptr, buffer, &size));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    EXPECT_FALSE(GetUserProfileDirectoryA(token, buffer, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(CloseHandle(token));
    SetLastError(0);
    EXPECT_FALSE(GetUserProfileDirectoryA(token, buffer, &size)) << "a closed token";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
