// The workbook export on Windows with names outside the ANSI code page: the session, the workbook
// and its folder keep every letter, an earlier workbook of that name is replaced, and the library's
// temporary files find a folder it can open when the user's temporary folder has such a name.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/workbook/LibraryPaths.h"
#include "app/workbook/WorkbookExport.h"

namespace {

namespace fs = std::filesystem;
using workbook::ExportResult;

// Cyrillic, Greek and CJK letters, none of them in the Western code page Wine's prefix uses.
const std::wstring kFolder = L"\u0414\u0430\u043d\u043d\u044b\u0435 \u03bc\u03b5\u03c4\u03c1\u03ae\u03c3\u03b5\u03b9\u03c2";
const std::wstring kWorkbook = L"\u6e2c\u5b9a \u00c9t\u00e9 \u2013 \u0416.xlsx";

class Folder {
public:
    Folder() {
        std::random_device random;
        do {
            FPath = fs::temp_directory_path() / (L"workbook-paths-" + std::to_wstring(random())) / kFolder;
        } while (fs::exists(FPath.parent_path()));
        fs::create_directories(FPath);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(FPath.parent_path(), ec);
    }
    const fs::path& Path() const { return FPath; }

private:
    fs::path FPath;
};

fs::path WriteSession(const fs::path& path) {
    std::ofstream(path, std::ios::binary)
        << "time,record,kind,car,last_lb,last_lb_text,drive_pwm,brake_pwm,lane_change,unit_id,unit_name,bytes_hex\n"
           "2026-12-07T09:43:51.123+01:00,1,status,7,111,no LB yet,12,0,0,5,SIM,53 00\n"
           "2026-12-07T09:43:51.153+01:00,2,status,8,111,no LB yet,200,3,1,5,SIM,53 01\n";
    return path;
}

TEST(WorkbookPaths, NamesOutsideTheAnsiCodePageAreWrittenAndReplaced) {
    ASSERT_TRUE(workbook::WorkbookSupported());
    Folder dir;
    const fs::path session = WriteSession(dir.Path() / L"\u0441\u0435\u0441\u0441\u0438\u044f.csv");
    const fs::path destination = dir.Path() / kWorkbook;
    std::ofstream(destination, std::ios::binary) << "an earlier workbook";

    const ExportResult result = workbook::ExportSessionWorkbook(session, destination);
    ASSERT_EQ(result.status, ExportResult::Status::Done) << result.error;
    EXPECT_EQ(result.records, 2u);
    std::ifstream in(destination, std::ios::binary);
    std::string start(2, '\0');
    in.read(start.data(), 2);
    EXPECT_EQ(start, "PK");  // the new workbook, in place of the earlier one
    // Nothing else in the folder: no partial file, no name mangled into question marks.
    int entries = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.Path())) {
        ++entries;
        EXPECT_TRUE(entry.path() == session || entry.path() == destination) << entry.path().string();
    }
    EXPECT_EQ(entries, 2);
}

TEST(WorkbookPaths, TemporaryFolderNamedOutsideTheAnsiCodePageIsReachedNarrow) {
    Folder dir;
    wchar_t saved[MAX_PATH + 1] = L"";
    const DWORD savedLength = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH + 1);
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", dir.Path().c_str()));

    const std::string folder = workbook::LibraryTempFolder();
    ASSERT_FALSE(folder.empty());
    // The library opens its temporary files with the narrow functions, in the ANSI code page.
    const std::string probe = folder + "\\probe.tmp";
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    ASSERT_NE(file, nullptr) << folder;
    std::fclose(file);
    EXPECT_TRUE(fs::exists(dir.Path() / L"probe.tmp")) << folder;  // the same folder, under its short name

    // And an export with it runs.
    const fs::path session = WriteSession(dir.Path() / L"s.csv");
    const ExportResult result = workbook::ExportSessionWorkbook(session, dir.Path() / kWorkbook);
    EXPECT_EQ(result.status, ExportResult::Status::Done) << result.error;

    ::SetEnvironmentVariableW(L"TMP", savedLength > 0 && savedLength <= MAX_PATH ? saved : nullptr);
}

} // namespace
