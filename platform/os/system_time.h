#pragma once
// Calendar time: the current UTC time, the time-zone information and the conversion of a UTC
// time to local time.
//
// Linux zones follow the tz database, whose changes of offset do not reduce to the one
// yearly rule that TIME_ZONE_INFORMATION holds. GetTimeZoneInformation therefore describes
// the offset in force when it is read, with no transition dates (TIME_ZONE_ID_UNKNOWN), and
// SystemTimeToTzSpecificLocalTime applies such a fixed offset. Given no zone at all it
// converts with the tz database (the TZ variable, else /etc/localtime), right at any moment.
#include "platform/base/types.h"

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;      // 1 = January
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

struct TIME_ZONE_INFORMATION {
    LONG Bias;  // minutes: UTC = local time + Bias
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;  // wMonth 0: no transition to standard time described
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;  // wMonth 0: no transition to daylight time described
    LONG DaylightBias;
};

inline constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;
inline constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
inline constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;
inline constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFF;

inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;

// The current time in UTC, to the millisecond.
void GetSystemTime(SYSTEMTIME* lpSystemTime);

// The zone in force now: Bias is the current offset (daylight saving included), StandardName
// its abbreviation, the dates and the other biases zero. Returns TIME_ZONE_ID_UNKNOWN, or
// TIME_ZONE_ID_INVALID when the local time cannot be computed.
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* lpTimeZoneInformation);

// lpUniversalTime converted to local time. A null zone means the tz database's zone; a zone
// without transition dates applies Bias + StandardBias. FALSE with ERROR_INVALID_PARAMETER
// for a null pointer or an invalid time (years 1601 to 30827), with ERROR_NOT_SUPPORTED for a
// zone that carries transition dates.
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpUniversalTime, SYSTEMTIME* lpLocalTime);
