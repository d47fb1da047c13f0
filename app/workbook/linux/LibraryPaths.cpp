#include "app/workbook/LibraryPaths.h"

namespace workbook {

std::string LibraryFileName(const std::filesystem::path& path) { return path.string(); }

// TMPDIR, else /tmp: the library's own order.
std::string LibraryTempFolder() { return {}; }

} // namespace workbook
