#pragma once
// A workbook started the way every export here starts one.
#include <xlsxwriter.h>

#include <filesystem>
#include <string>

#include "app/workbook/LibraryPaths.h"

namespace workbook {

// A workbook started at path, its rows streamed to the library's temporary files (in its
// temporary folder) rather than held in memory; zip64 for one that may pass 4 GB before
// compression. Null when the library could not start it.
inline lxw_workbook* StartWorkbook(const std::filesystem::path& path, bool zip64) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = zip64 ? LXW_TRUE : LXW_FALSE;
    std::string tempFolder = LibraryTempFolder();  // copied by the library
    if (!tempFolder.empty()) options.tmpdir = tempFolder.data();
    return workbook_new_opt(LibraryFileName(path).c_str(), &options);
}

} // namespace workbook
