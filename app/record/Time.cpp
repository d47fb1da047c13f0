#include "Time.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <mutex>

#include "app/record/Words.h"

namespace record {

namespace {
// Days from 30 December 1899 (the date-time value's day 0) to 1 January 1970.
constexpr int64_t kUnixEpochInDays = 25569;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

void AppendDigits(std::string& out, int value, int width) {
    char buf[12];
    int n = 0;
    auto v = static_cast<unsigned>(value < 0 ? -value : value);
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < width) buf[n++] = '0';
    while (n > 0) out += buf[--n];
}

inline bool Digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
inline int Two(const char* p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

// Eight bytes of the ISO text's fixed form at once: '0' stands for a digit, '?' for any byte,
// anything else for itself.
struct WordForm {
    uint64_t digits = 0;  // 0xFF at each digit's byte
    uint64_t fixedMask = 0;
    uint64_t fixed = 0;
};
constexpr WordForm Form(const char (&text)[9]) {
    WordForm f;
    for (int i = 0; i < 8; ++i) {
        const uint64_t byte = uint64_t{0xFF} << (8 * i);
        if (text[i] == '0') {
            f.digits |= byte;
        } else if (text[i] != '?') {
            f.fixedMask |= byte;
            f.fixed |= uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
        }
    }
    return f;
}
// A byte is a digit when its high half is 3 and adding 6 leaves it 3. Adding 6 carries into the
// next byte only from a byte of 0xFA or more, which fails wherever it stands.
bool Fits(const char* p, const WordForm& f) {
    constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ull, kThrees = 0x3030303030303030ull, kSixes = 0x0606060606060606ull;
    const uint64_t x = LoadWord(p);
    return (x & f.fixedMask) == f.fixed && (x & kHigh & f.digits) == (kThrees & f.digits) &&
           ((x + kSixes) & kHigh & f.digits) == (kThrees & f.digits);
}
// The ISO text up to its UTC offset: 2026-12-07T09:43:51.123, then the offset's sign or Z.
bool DateTimeFits(const char* p) {
    static constexpr WordForm kForms[3] = {Form("0000-00-"), Form("00T00:00"), Form(":00.000?")};
    return Fits(p, kForms[0]) && Fits(p + 8, kForms[1]) && Fits(p + 16, kForms[2]);
}
} // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool ValidDate(int year, int month, int day) { return day >= 1 && day <= DaysInMonth(year, month); }

// The day counts below follow the well-known era arithmetic: 400-year eras of 146097 days,
// years starting in March so that the leap day falls at the end.
int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const auto doy = static_cast<unsigned>((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int64_t MsFromCivil(const CivilTime& c) {
    return DaysFromCivil(c.year, c.month, c.day) * kMsPerDay +
           ((int64_t{c.hour} * 60 + c.minute) * 60 + c.second) * kMsPerSecond + c.millisecond;
}

CivilTime CivilFromMs(int64_t ms) {
    int64_t z = FloorDiv(ms, kMsPerDay);
    const int64_t ofDay = ms - z * kMsPerDay;
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    CivilTime c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (c.month <= 2 ? 1 : 0));
    c.hour = static_cast<int>(ofDay / kMsPerHour);
    c.minute = static_cast<int>(ofDay / kMsPerMinute % 60);
    c.second = static_cast<int>(ofDay / kMsPerSecond % 60);
    c.millisecond = static_cast<int>(ofDay % kMsPerSecond);
    return c;
}

int64_t LocalMsFromDateTime(toolkit::TDateTime t) {
    // The day and its fraction apart, so the rounding is that of the time of day alone.
    const double dayPart = std::floor(t);
    const int64_t ms = std::llround((t - dayPart) * static_cast<double>(kMsPerDay));
    return (static_cast<int64_t>(dayPart) - kUnixEpochInDays) * kMsPerDay + ms;
}

CivilTime ToCivil(toolkit::TDateTime t) { return CivilFromMs(LocalMsFromDateTime(t)); }

int SystemUtcOffsetMinutes(const CivilTime& local) {
    // mktime reads the broken-down time as local time; the same fields read as UTC differ from
    // its answer by the offset. It may re-read the time zone, which the C library guards with a
    // lock of its own that the thread checker cannot see: ours makes the order plain (this runs
    // once per local hour per clock, so the lock costs nothing).
    static std::mutex timeZoneLock;
    const std::lock_guard<std::mutex> hold(timeZoneLock);
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
                          (int64_t{local.hour} * 60 + local.minute) * 60 + local.second;
    return static_cast<int>((asUtc - static_cast<int64_t>(asLocal)) / 60);
}

Instant LocalClock::FromLocal(toolkit::TDateTime local) {
    const int64_t localMs = LocalMsFromDateTime(local);
    const int64_t hourKey = FloorDiv(localMs, kMsPerHour);
    if (hourKey != FHourKey) {
        FHourKey = hourKey;
        FOffsetMinutes = SystemUtcOffsetMinutes(CivilFromMs(localMs));
    }
    return {localMs - int64_t{FOffsetMinutes} * kMsPerMinute, FOffsetMinutes};
}

void AppendIsoText(std::string& out, const Instant& t) {
    const CivilTime c = CivilFromMs(t.LocalMs());
    AppendDigits(out, c.year, 4);
    out += '-';
    AppendDigits(out, c.month, 2);
    out += '-';
    AppendDigits(out, c.day, 2);
    out += 'T';
    AppendDigits(out, c.hour, 2);
    out += ':';
    AppendDigits(out, c.minute, 2);
    out += ':';
    AppendDigits(out, c.second, 2);
    out += '.';
    AppendDigits(out, c.millisecond, 3);
    out += t.utcOffsetMinutes < 0 ? '-' : '+';
    const int offset = t.utcOffsetMinutes < 0 ? -t.utcOffsetMinutes : t.utcOffsetMinutes;
    AppendDigits(out, offset / 60, 2);
    out += ':';
    AppendDigits(out, offset % 60, 2);
}

std::string IsoText(const Instant& t) {
    std::string out;
    out.reserve(29);
    AppendIsoText(out, t);
    return out;
}

bool ParseIsoText(std::string_view t, Instant& out) {
    // 2026-12-07T09:43:51.123+01:00 or 2026-12-07T09:43:51.123Z
    if (t.size() != 29 && t.size() != 24) return false;
    const char* p = t.data();
    if (!DateTimeFits(p)) return false;
    const int year = Two(p) * 100 + Two(p + 2);
    const int month = Two(p + 5), day = Two(p + 8), hour = Two(p + 11), minute = Two(p + 14), second = Two(p + 17);
    const int milli = (p[20] - '0') * 100 + Two(p + 21);
    if (hour > 23 || minute > 59 || second > 59) return false;
    int offset = 0;
    if (t.size() == 24) {
        if (p[23] != 'Z') return false;
    } else {
        if ((p[23] != '+' && p[23] != '-') || !Digit(p[24]) || !Digit(p[25]) || p[26] != ':' || !Digit(p[27]) ||
            !Digit(p[28])) {
            return false;
        }
        const int oh = Two(p + 24), om = Two(p + 27);
        if (oh > 23 || om > 59) return false;
        offset = (oh * 60 + om) * (p[23] == '-' ? -1 : 1);
    }
    // Rows come by the million and the date changes once a day at most: the day number of the
    // last date read is kept.
    thread_local char lastDate[10] = {};
    thread_local int64_t lastDays = 0;
    if (std::memcmp(lastDate, p, 10) != 0) {
        if (!ValidDate(year, month, day)) return false;
        lastDays = DaysFromCivil(year, month, day);
        std::memcpy(lastDate, p, 10);
    }
    const int64_t localMs = lastDays * kMsPerDay + ((int64_t{hour} * 60 + minute) * 60 + second) * kMsPerSecond + milli;
    out.utcMs = localMs - int64_t{offset} * kMsPerMinute;
    out.utcOffsetMinutes = offset;
    return true;
}

void AppendTimeOfDay(std::string& out, int64_t localMs, std::string_view timeSeparator) {
    const int64_t ms = localMs - FloorDiv(localMs, kMsPerDay) * kMsPerDay;
    AppendDigits(out, static_cast<int>(ms / kMsPerHour), 1);
    out += timeSeparator;
    AppendDigits(out, static_cast<int>(ms / kMsPerMinute % 60), 2);
    out += timeSeparator;
    AppendDigits(out, static_cast<int>(ms / kMsPerSecond % 60), 2);
    out += '.';
    AppendDigits(out, static_cast<int>(ms % kMsPerSecond), 3);
}

std::string DateText(int64_t localMs) {
    const CivilTime c = CivilFromMs(localMs);
    std::string out;
    AppendDigits(out, c.year, 4);
    out += '-';
    AppendDigits(out, c.month, 2);
    out += '-';
    AppendDigits(out, c.day, 2);
    return out;
}

} // namespace record
