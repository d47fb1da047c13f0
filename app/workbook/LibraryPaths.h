#pragma once
// The names the workbook library is given for its files, which differ by OS: it hands them to
// the C library's file functions.
#include <filesystem>
#include <string>

namespace workbook {

// The workbook's file as the library takes it: on Linux the path's bytes as given; on Windows
// UTF-8, which the library turns into UTF-16 for the wide file functions.
std::string LibraryFileName(const std::filesystem::path& path);

// The folder for the library's temporary files, or empty for the library's own choice. On
// Windows the temporary folder under a name the narrow file functions can open (in the ANSI
// code page, else its short name): the library reads TMP narrow, and a user's folder may be
// named outside that code page.
std::string LibraryTempFolder();

} // namespace workbook
