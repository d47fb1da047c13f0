#pragma once
// What every sheet of ours shares: the header's bold, the date-time formats, a record's time and
// UTC offset as cells, and the first failure of the library kept for the reason.
#include <xlsxwriter.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/record/Time.h"

namespace workbook {

// Spreadsheet date-times count days from 1899-12-30; 1970-01-01 is day 25569.
inline double SpreadsheetTime(int64_t localMs) {
    constexpr int64_t kEpochDays = 25569;
    return static_cast<double>(localMs + kEpochDays * record::kMsPerDay) / static_cast<double>(record::kMsPerDay);
}

// "+01:00", as the session file writes it.
inline std::string OffsetText(int minutes) {
    const int magnitude = minutes < 0 ? -minutes : minutes;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

class SheetCells {
public:
    explicit SheetCells(lxw_workbook* book) {
        FBold = workbook_add_format(book);
        format_set_bold(FBold);
        FDateTimeMs = workbook_add_format(book);
        format_set_num_format(FDateTimeMs, "yyyy-mm-dd hh:mm:ss.000");
        FDateTime = workbook_add_format(book);
        format_set_num_format(FDateTime, "yyyy-mm-dd hh:mm:ss");
    }

    lxw_format* Bold() const { return FBold; }
    lxw_format* DateTimeMs() const { return FDateTimeMs; }
    lxw_format* DateTime() const { return FDateTime; }

    // The first failure, for the reason (the library's own text).
    lxw_error Check(lxw_error e) {
        if (e != LXW_NO_ERROR && FError == LXW_NO_ERROR) FError = e;
        return e;
    }
    lxw_error Error() const { return FError; }

private:
    lxw_format* FBold = nullptr;
    lxw_format* FDateTimeMs = nullptr;
    lxw_format* FDateTime = nullptr;
    lxw_error FError = LXW_NO_ERROR;
};

} // namespace workbook
