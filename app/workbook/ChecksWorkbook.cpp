#include "ChecksWorkbook.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <string>

#include "app/session/SessionScan.h"
#include "app/workbook/ChecksFile.h"
#include "app/workbook/ClassicNumbers.h"
#include "app/workbook/SheetCells.h"
#include "app/workbook/StartWorkbook.h"
#include "app/workbook/WorkbookFile.h"

namespace workbook {

namespace {

// Columns that hold words even where a value looks like a number (a unit named "12").
bool TextColumn(const std::string& name) {
    static const std::array<const char*, 4> kText = {"unit", "verdict", "findings", "missing"};
    return std::any_of(kText.begin(), kText.end(), [&](const char* t) { return name == t; });
}

double ColumnWidth(const std::string& name) {
    if (name == "time") return 20;
    if (name == "unit" || name == "findings" || name == "missing") return 24;
    return std::max<double>(9, static_cast<double>(name.size()) + 2);
}

} // namespace

ExportResult ExportChecksWorkbook(const std::filesystem::path& checks, const std::filesystem::path& destination,
                                  const ChecksExportOptions& options) {
    const ClassicNumbers classicNumbers;  // until the workbook is closed
    ExportResult result;
    const auto fail = [&](const std::string& why) {
        result.status = ExportResult::Status::Failed;
        result.error = why;
        return result;
    };
    if (const auto problem = DestinationProblem(checks, destination)) return fail(*problem);
    ChecksTable table;
    std::string error;
    if (!ReadChecksFile(checks, options.car, table, error)) return fail(error);
    if (options.car && table.rows.empty()) {
        return fail(session::PathText(checks) + ": holds no check of car " + std::to_string(*options.car));
    }

    const std::filesystem::path partial = PartialPath(destination);
    lxw_workbook* book = StartWorkbook(partial, false);
    if (book == nullptr) return fail(session::PathText(destination) + ": the workbook could not be started");
    SheetCells cells(book);
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Checks");
    if (sheet == nullptr) {
        workbook_close(book);
        Discard(partial);
        return fail(session::PathText(destination) + ": the workbook could not be written");
    }

    // The file's columns, with the UTC offset put beside the time.
    const auto timeAt = static_cast<size_t>(std::find(table.columns.begin(), table.columns.end(), "time") - table.columns.begin());
    const auto sheetColumn = [&](size_t c) { return static_cast<lxw_col_t>(c + (c > timeAt ? 1 : 0)); };
    const auto lastColumn = static_cast<lxw_col_t>(table.columns.size());  // one more than the file's, for the offset
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const double width = ColumnWidth(table.columns[c]);
        cells.Check(worksheet_set_column(sheet, sheetColumn(c), sheetColumn(c), width, nullptr));
        cells.Check(worksheet_write_string(sheet, 0, sheetColumn(c), table.columns[c].c_str(), cells.Bold()));
        if (c == timeAt) cells.Check(worksheet_write_string(sheet, 0, sheetColumn(c) + 1, "utc_offset", cells.Bold()));
    }
    worksheet_freeze_panes(sheet, 1, 0);

    lxw_row_t r = 1;
    for (const std::vector<std::string>& row : table.rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            const std::string& text = row[c];
            if (text.empty()) continue;
            const lxw_col_t column = sheetColumn(c);
            record::Instant time;
            bool hasOffset = false;
            double value = 0;
            if (c == timeAt && ParseCheckTime(text, time, hasOffset)) {
                cells.Check(worksheet_write_number(sheet, r, column, SpreadsheetTime(time.LocalMs()), cells.DateTime()));
                if (hasOffset) {
                    cells.Check(worksheet_write_string(sheet, r, column + 1, OffsetText(time.utcOffsetMinutes).c_str(), nullptr));
                }
            } else if (!TextColumn(table.columns[c]) && PlainNumber(text, value)) {
                cells.Check(worksheet_write_number(sheet, r, column, value, nullptr));
            } else {
                cells.Check(worksheet_write_string(sheet, r, column, text.c_str(), nullptr));
            }
        }
        ++r;
    }
    cells.Check(worksheet_autofilter(sheet, 0, 0, std::max<lxw_row_t>(r - 1, 1), lastColumn));
    const lxw_error closed = workbook_close(book);
    const lxw_error first = cells.Error() != LXW_NO_ERROR ? cells.Error() : closed;
    if (first != LXW_NO_ERROR) {
        Discard(partial);
        return fail(session::PathText(destination) + ": the workbook could not be written: " + lxw_strerror(first));
    }
    if (const auto problem = PutInPlace(partial, destination)) return fail(*problem);
    result.status = ExportResult::Status::Done;
    result.records = table.rows.size();
    result.skippedRows = table.skippedRows;
    result.recordSheets = 1;
    return result;
}

} // namespace workbook
