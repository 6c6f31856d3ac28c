#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "platform/win32.h"
#include "tests/support/scoped_env.h"

namespace {

using kivtest::ScopedEnv;

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                WORD milliseconds = 0) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = milliseconds;
    return time;
}

std::string Text(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u w%u", unsigned{t.wYear},
                  unsigned{t.wMonth}, unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute},
                  unsigned{t.wSecond}, unsigned{t.wMilliseconds}, unsigned{t.wDayOfWeek});
    return text;
}

// The bounds are read from the clock GetSystemTime reads: time() is the coarse clock, up to a
// tick behind, and so may still name the previous second.
std::time_t RealtimeSeconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec;
}

TEST(GetSystemTime, IsTheCurrentUtcTime) {
    const std::time_t before = RealtimeSeconds();
    SYSTEMTIME now{};
    GetSystemTime(&now);
    const std::time_t after = RealtimeSeconds();
    std::tm parts{};
    parts.tm_year = now.wYear - 1900;
    parts.tm_mon = now.wMonth - 1;
    parts.tm_mday = now.wDay;
    parts.tm_hour = now.wHour;
    parts.tm_min = now.wMinute;
    parts.tm_sec = now.wSecond;
    const std::time_t seconds = timegm(&parts);
    EXPECT_LE(before, seconds);
    EXPECT_LE(seconds, after);
    EXPECT_LE(now.wMilliseconds, 999);
    EXPECT_EQ(now.wDayOfWeek, parts.tm_wday);
}

TEST(SystemTimeToTzSpecificLocalTime, NullZoneFollowsTheTzRules) {
    ScopedEnv tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    struct Case {
        SYSTEMTIME utc;
        const char* local;
    };
    const Case cases[] = {
        {Time(2023, 1, 15, 12, 0, 0, 250), "2023-01-15 13:00:00.250 w0"},
        {Time(2023, 7, 1, 12, 0, 0), "2023-07-01 14:00:00.000 w6"},
        {Time(2023, 3, 26, 0, 59, 59), "2023-03-26 01:59:59.000 w0"},  // just before
        {Time(2023, 3, 26, 1, 0, 0), "2023-03-26 03:00:00.000 w0"},    // daylight time begins
        {Time(2023, 12, 31, 23, 30, 0), "2024-01-01 00:30:00.000 w1"},
    };
    for (const Case& c : cases) {
        SYSTEMTIME local{};
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &c.utc, &local)) << Text(c.utc);
        EXPECT_EQ(Text(local), c.local) << Text(c.utc);
    }
}

TEST(SystemTimeToTzSpecificLocalTime, FixedZoneAppliesItsBias) {
    struct Case {
        LONG bias, standardBias;
        SYSTEMTIME utc;
        const char* local;
    };
    const Case cases[] = {
        {-330, 0, Time(2023, 3, 24, 10, 0, 12), "2023-03-24 15:30:12.000 w5"},
        {60, 0, Time(2023, 1, 1, 0, 30, 0, 7), "2022-12-31 23:30:00.007 w6"},
        {0, 0, Time(2024, 2, 29, 23, 59, 59), "2024-02-29 23:59:59.000 w4"},
        {-60, -60, Time(2024, 2, 29, 23, 0, 0), "2024-03-01 01:00:00.000 w5"},
    };
    for (const Case& c : cases) {
        TIME_ZONE_INFORMATION zone{};
        zone.Bias = c.bias;
        zone.StandardBias = c.standardBias;
        SYSTEMTIME local{};
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(&zone, &c.utc, &local)) << Text(c.utc);
        EXPECT_EQ(Text(local), c.local) << c.bias;
    }
}

TEST(SystemTimeToTzSpecificLocalTime, RefusesInvalidTimesAndRuleZones) {
    const SYSTEMTIME invalid[] = {
        Time(2023, 13, 1, 0, 0, 0), Time(2023, 2, 29, 0, 0, 0), Time(1600, 12, 31, 0, 0, 0),
        Time(2023, 4, 31, 0, 0, 0), Time(2023, 1, 1, 24, 0, 0), Time(2023, 1, 1, 0, 0, 0, 1000),
        Time(2023, 0, 1, 0, 0, 0),  Time(2023, 1, 0, 0, 0, 0),
    };
    TIME_ZONE_INFORMATION zone{};
    for (const SYSTEMTIME& utc : invalid) {
        SYSTEMTIME local = Time(1999, 9, 9, 9, 9, 9);
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(&zone, &utc, &local)) << Text(utc);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(local.wYear, 1999) << "left alone";
        EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) << Text(utc);
    }
    const SYSTEMTIME utc = Time(2023, 6, 1, 0, 0, 0);
    SYSTEMTIME local{};
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(&zone, nullptr, &local));
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(&zone, &utc, nullptr));

    zone.DaylightDate.wMonth = 3;  // a yearly rule
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(&zone, &utc, &local));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

TEST(GetTimeZoneInformation, DescribesTheOffsetInForce) {
    struct Case {
        const char* tz;
        LONG bias;
        const char16_t* name;
    };
    const Case cases[] = {{"UTC0", 0, u"UTC"}, {"EST5", 300, u"EST"}, {"IST-5:30", -330, u"IST"}};
    for (const Case& c : cases) {
        ScopedEnv tz("TZ", c.tz);
        TIME_ZONE_INFORMATION zone{};
        zone.DaylightBias = 99;
        ASSERT_EQ(GetTimeZoneInformation(&zone), TIME_ZONE_ID_UNKNOWN) << c.tz;
        EXPECT_EQ(zone.Bias, c.bias) << c.tz;
        EXPECT_EQ(std::u16string(zone.StandardName), c.name);
        EXPECT_EQ(zone.StandardBias, 0);
        EXPECT_EQ(zone.DaylightBias, 0);
        EXPECT_EQ(zone.StandardDate.wMonth, 0);
        EXPECT_EQ(zone.DaylightDate.wMonth, 0);
    }
    EXPECT_EQ(GetTimeZoneInformation(nullptr), TIME_ZONE_ID_INVALID);
}

TEST(GetTimeZoneInformation, ConvertsNowAsTheTzRulesDo) {
    // In a zone with daylight saving the information's fixed offset is the one in force.
    ScopedEnv tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    SYSTEMTIME utc{}, viaZone{}, viaRules{};
    TIME_ZONE_INFORMATION zone{};
    GetSystemTime(&utc);
    ASSERT_NE(GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(&zone, &utc, &viaZone));
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &viaRules));
    // Equal unless the reading straddled a change of offset, at 01:00 UTC on two days a year.
    if (!(utc.wMonth == 3 || utc.wMonth == 10) || utc.wHour != 1 || utc.wMinute != 0) {
        EXPECT_EQ(Text(viaZone), Text(viaRules));
    }
}

}  // namespace
