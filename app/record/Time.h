#pragma once
// Time as the records carry it: milliseconds since 1970-01-01 UTC with the local time's offset
// from UTC. Converts between the system's date-time value, the civil calendar, UTC milliseconds,
// the session file's ISO text and the capture table's time of day. Impossible dates (30 February,
// 29 February outside a leap year) are refused wherever a text is read. Plain C++.
#include <cstdint>
#include <string>
#include <string_view>

#include "toolkit/DateTime.h"

namespace record {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr int64_t kMsPerHour = 60 * kMsPerMinute;
constexpr int64_t kMsPerDay = 24 * kMsPerHour;

// A broken-down date and time of the proleptic Gregorian calendar.
struct CivilTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12
// The date exists (month 1..12, day within the month).
bool ValidDate(int year, int month, int day);
// Days from 1 January 1970 to this date (negative before it).
int64_t DaysFromCivil(int year, int month, int day);

// Milliseconds since 1970-01-01 in the civil time's own frame (local or UTC), and back.
int64_t MsFromCivil(const CivilTime& c);
CivilTime CivilFromMs(int64_t ms);

// The system's local date-time value to milliseconds since 1970 in local time (rounded to the
// millisecond), and its civil time.
int64_t LocalMsFromDateTime(toolkit::TDateTime t);
CivilTime ToCivil(toolkit::TDateTime t);

// Minutes east of UTC in effect at this local time, by the system's time zone rules.
int SystemUtcOffsetMinutes(const CivilTime& local);

// A moment as a record keeps it.
struct Instant {
    int64_t utcMs = 0;
    int utcOffsetMinutes = 0;
    int64_t LocalMs() const { return utcMs + int64_t{utcOffsetMinutes} * kMsPerMinute; }
};

// Local date-time values to instants, asking the time zone rules once per local hour (an offset
// changes on the hour at most). One per thread that uses it.
class LocalClock {
public:
    Instant FromLocal(toolkit::TDateTime local);

private:
    int64_t FHourKey = INT64_MIN;
    int FOffsetMinutes = 0;
};

// "2026-12-07T09:43:51.123+01:00": the instant's local time with its offset.
void AppendIsoText(std::string& out, const Instant& t);
std::string IsoText(const Instant& t);
// The inverse; also takes "...51.123Z". False for anything else, an impossible date included.
bool ParseIsoText(std::string_view text, Instant& out);

// "9:43:51.123": the time of day of a local time in milliseconds, as the capture table shows it
// (hour without a leading zero, the locale's separator, milliseconds after a full stop).
void AppendTimeOfDay(std::string& out, int64_t localMs, std::string_view timeSeparator);
// "2026-12-07": the date of a local time in milliseconds.
std::string DateText(int64_t localMs);

} // namespace record
