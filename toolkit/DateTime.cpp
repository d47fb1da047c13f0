#include "DateTime.h"

#include <cmath>

#include "toolkit/Os.h"

namespace toolkit {

namespace {
// Days from 30 December 1899 to 1 January 1970.
constexpr double kUnixEpochInDays = 25569.0;

long long DaysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}
} // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    const double days = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))) + kUnixEpochInDays;
    const double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
    return days + ms / 86400000.0;
}

TDateTime Now() {
    const os::LocalClock c = os::LocalClockNow();
    return EncodeDateTime(c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second, c.Millisecond);
}

std::string FormatTimeOfDay(TDateTime t, const std::string& timeSeparator) {
    double fraction = t - std::floor(t);
    long long ms = std::llround(fraction * 86400000.0);
    if (ms >= 86400000LL) ms = 0;  // rounding up to midnight
    const int hour = static_cast<int>(ms / 3600000);
    const int minute = static_cast<int>(ms / 60000 % 60);
    const int second = static_cast<int>(ms / 1000 % 60);
    const int milli = static_cast<int>(ms % 1000);
    std::string out = std::to_string(hour);
    auto two = [&out](int v) { out += static_cast<char>('0' + v / 10); out += static_cast<char>('0' + v % 10); };
    out += timeSeparator;
    two(minute);
    out += timeSeparator;
    two(second);
    out += '.';
    out += static_cast<char>('0' + milli / 100);
    out += static_cast<char>('0' + milli / 10 % 10);
    out += static_cast<char>('0' + milli % 10);
    return out;
}

} // namespace toolkit
