#include "WorkbookExport.h"

#include "app/session/SessionScan.h"
#include "app/workbook/ChecksFile.h"
#include "app/workbook/ChecksWorkbook.h"
#include "app/workbook/WorkbookFile.h"

namespace workbook {

int RunExportCommand(const std::filesystem::path& source, const std::filesystem::path& destination, std::string& err) {
    // The throttle check's checks.csv is told by its header; anything else is read as a session.
    const ExportResult result = IsChecksFile(source) ? ExportChecksWorkbook(source, destination)
                                                     : ExportSessionWorkbook(source, destination);
    if (result.status != ExportResult::Status::Done) {
        err += "torvane-capture: " + result.error + "\n";
        return 1;
    }
    if (result.skippedRows > 0) {
        err += "torvane-capture: " + session::PathText(source) + ": " + std::to_string(result.skippedRows) +
               (result.skippedRows == 1 ? " row could not be read and was left out\n"
                                        : " rows could not be read and were left out\n");
    }
    return 0;
}

} // namespace workbook
