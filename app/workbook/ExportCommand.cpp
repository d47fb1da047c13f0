#include "WorkbookExport.h"

namespace workbook {

int RunExportCommand(const std::filesystem::path& session, const std::filesystem::path& destination, std::string& err) {
    const ExportResult result = ExportSessionWorkbook(session, destination);
    if (result.status != ExportResult::Status::Done) {
        err += "torvane-capture: " + result.error + "\n";
        return 1;
    }
    if (result.skippedRows > 0) {
        const std::u8string name = session.u8string();
        err += "torvane-capture: " + std::string(name.begin(), name.end()) + ": " + std::to_string(result.skippedRows) +
               (result.skippedRows == 1 ? " row could not be read and was left out\n"
                                        : " rows could not be read and were left out\n");
    }
    return 0;
}

} // namespace workbook
