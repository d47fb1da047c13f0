#pragma once
// The date-time value of the system: days since 30 December 1899, the fraction the time of day.
#include <string>

namespace toolkit {

using TDateTime = double;

// One millisecond in days. (The decoder's 200 ms filter has its own constant, the 200 ms in
// days written out, compared in extended precision.)
constexpr TDateTime kMillisecondInDays = 1.0 / 86400000.0;

// The local date and time with millisecond resolution.
TDateTime Now();

// Builds a date-time from a local calendar date and time of day.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);

// The locale's time separator (LC_TIME), a colon where the locale says nothing clearer.
std::string LocaleTimeSeparator();

// Formats the time of day of t as "h:mm:ss.zzz": hour without leading zero (24-hour clock),
// the given separator, two-digit minutes and seconds, a full stop and three-digit milliseconds.
std::string FormatTimeOfDay(TDateTime t, const std::string& timeSeparator);

} // namespace toolkit
