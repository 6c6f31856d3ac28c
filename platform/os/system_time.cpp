#include "platform/os/system_time.h"

#include <time.h>

#include "platform/base/hresult.h"
#include "platform/os/last_error.h"

namespace {

constexpr LONGLONG kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
LONGLONG DaysFromCivil(LONGLONG year, unsigned month, unsigned day) {
    year -= month <= 2;
    const LONGLONG era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<LONGLONG>(dayOfEra) - 719468;
}

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValid(const SYSTEMTIME& time) {
    return time.wYear >= 1601 && time.wYear <= 30827 && time.wMonth >= 1 && time.wMonth <= 12 &&
           time.wDay >= 1 && time.wDay <= DaysInMonth(time.wYear, time.wMonth) &&
           time.wHour <= 23 && time.wMinute <= 59 && time.wSecond <= 59 &&
           time.wMilliseconds <= 999;
}

// Seconds since the epoch, without time_t's range or the C library's normalisation.
LONGLONG SecondsOf(const SYSTEMTIME& time) {
    return DaysFromCivil(time.wYear, time.wMonth, time.wDay) * kSecondsPerDay + time.wHour * 3600 +
           time.wMinute * 60 + time.wSecond;
}

SYSTEMTIME FromBrokenDown(const tm& parts, WORD milliseconds) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(parts.tm_year + 1900);
    time.wMonth = static_cast<WORD>(parts.tm_mon + 1);
    time.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    time.wDay = static_cast<WORD>(parts.tm_mday);
    time.wHour = static_cast<WORD>(parts.tm_hour);
    time.wMinute = static_cast<WORD>(parts.tm_min);
    time.wSecond = static_cast<WORD>(parts.tm_sec);
    time.wMilliseconds = milliseconds;
    return time;
}

// Seconds since the epoch back to a UTC calendar time; false outside SYSTEMTIME's years.
bool ToSystemTime(LONGLONG seconds, WORD milliseconds, SYSTEMTIME& time) {
    const time_t instant = static_cast<time_t>(seconds);
    tm parts{};
    if (gmtime_r(&instant, &parts) == nullptr)
        return false;
    if (parts.tm_year + 1900 < 1601 || parts.tm_year + 1900 > 30827)
        return false;
    time = FromBrokenDown(parts, milliseconds);
    return true;
}

void CopyName(WCHAR (&target)[32], const char* name) {
    std::size_t i = 0;
    for (; name != nullptr && name[i] != '\0' && i + 1 < 32; ++i)
        target[i] = static_cast<unsigned char>(name[i]);  // zone abbreviations are ASCII
    target[i] = 0;
}

}  // namespace

void GetSystemTime(SYSTEMTIME* lpSystemTime) {
    if (lpSystemTime == nullptr)
        return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    *lpSystemTime = FromBrokenDown(parts, static_cast<WORD>(now.tv_nsec / 1000000));
}

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* lpTimeZoneInformation) {
    if (lpTimeZoneInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    const time_t now = time(nullptr);
    tm parts{};
    if (localtime_r(&now, &parts) == nullptr) {
        SetLastError(ERROR_INVALID_DATA);
        return TIME_ZONE_ID_INVALID;
    }
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = static_cast<LONG>(-parts.tm_gmtoff / 60);
    CopyName(zone.StandardName, parts.tm_zone);
    *lpTimeZoneInformation = zone;
    return TIME_ZONE_ID_UNKNOWN;
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpUniversalTime, SYSTEMTIME* lpLocalTime) {
    if (lpUniversalTime == nullptr || lpLocalTime == nullptr || !IsValid(*lpUniversalTime)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const LONGLONG seconds = SecondsOf(*lpUniversalTime);
    SYSTEMTIME local{};
    if (lpTimeZoneInformation == nullptr) {
        const time_t instant = static_cast<time_t>(seconds);
        tm parts{};
        if (localtime_r(&instant, &parts) == nullptr || parts.tm_year + 1900 < 1601 ||
            parts.tm_year + 1900 > 30827) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        local = FromBrokenDown(parts, lpUniversalTime->wMilliseconds);
    } else {
        const TIME_ZONE_INFORMATION& zone = *lpTimeZoneInformation;
        if (zone.StandardDate.wMonth != 0 || zone.DaylightDate.wMonth != 0) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        const LONGLONG bias = LONGLONG{zone.Bias} + zone.StandardBias;
        if (!ToSystemTime(seconds - bias * 60, lpUniversalTime->wMilliseconds, local)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    *lpLocalTime = local;
    return TRUE;
}
