#include "UtcOffset.h"

#include <ctime>

namespace recording {

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
    const int64_t asUtc = DaysFromCivil(local.year, local.month, local.day) * 86400 +
                          (static_cast<int64_t>(local.hour) * 60 + local.minute) * 60 + local.second;
    return static_cast<int>((asUtc - static_cast<int64_t>(asLocal)) / 60);
}

} // namespace recording
