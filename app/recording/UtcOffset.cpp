#include "UtcOffset.h"

#include <ctime>

namespace recording {

namespace {
int64_t DaysSince1970(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const auto doy = static_cast<unsigned>((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
} // namespace

int UtcOffsetMinutes(const CivilTime& local) {
    // mktime reads the broken-down time as local time; the same fields read as UTC differ from
    // its answer by the offset. It only touches the tm it is given, so the writer thread may call it.
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    const std::time_t asLocal = std::mktime(&tm);
    if (asLocal == static_cast<std::time_t>(-1)) return 0;
    const int64_t asUtc = DaysSince1970(local.year, local.month, local.day) * 86400 +
                          (static_cast<int64_t>(local.hour) * 60 + local.minute) * 60 + local.second;
    return static_cast<int>((asUtc - static_cast<int64_t>(asLocal)) / 60);
}

} // namespace recording
