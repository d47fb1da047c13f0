// The build without the workbook library: the command and the window say so.
#include "WorkbookExport.h"

#include "app/workbook/ChecksWorkbook.h"

namespace workbook {

bool WorkbookSupported() { return false; }

namespace {
ExportResult NotInThisBuild() {
    ExportResult result;
    result.error = "export to a workbook is not in this build";
    return result;
}
} // namespace

ExportResult ExportSessionWorkbook(const std::filesystem::path&, const std::filesystem::path&, const ExportOptions&) {
    return NotInThisBuild();
}

ExportResult ExportChecksWorkbook(const std::filesystem::path&, const std::filesystem::path&, const ChecksExportOptions&) {
    return NotInThisBuild();
}

} // namespace workbook
