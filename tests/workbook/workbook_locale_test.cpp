// The workbook exports in a process whose locale writes numbers with a decimal comma, as the
// window's toolkit sets a German user's: the workbook's numbers keep their point (a spreadsheet
// reads no other), the summary's figures stay numbers, and the exporting thread has its own
// locale back afterwards; the same for the checks' workbook.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>

#include "app/workbook/ChecksWorkbook.h"
#include "app/workbook/WorkbookExport.h"

namespace {

namespace fs = std::filesystem;
using workbook::ExportResult;

std::string Formatted(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        FDir = fs::temp_directory_path() / ("workbook-locale-" + std::to_string(random()));
        fs::create_directories(FDir / "locales");
        // The locale is made here, so the test needs no locale installed on the machine.
        const std::string make = "localedef -i de_DE -f UTF-8 '" + (FDir / "locales" / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) GTEST_SKIP() << "localedef could not make de_DE.UTF-8 (Debian's locales package)";
        ::setenv("LOCPATH", (FDir / "locales").c_str(), 1);
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 cannot be set";
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        ::unsetenv("LOCPATH");
        std::error_code ec;
        fs::remove_all(FDir, ec);
    }
    // A part of the workbook, unpacked by unzip.
    std::string Part(const fs::path& book, const std::string& name) {
        const fs::path out = FDir / "part.xml";
        const std::string command = "unzip -p '" + book.string() + "' '" + name + "' >'" + out.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return Contents(out);
    }
    fs::path FDir;
};

TEST_F(CommaLocale, NumbersKeepTheirPointAndTheThreadItsLocale) {
    if (!workbook::WorkbookSupported()) GTEST_SKIP() << "no workbook library in this build";
    ASSERT_EQ(Formatted(1.5), "1,5");  // the locale bites
    const fs::path session = FDir / "s.csv";
    std::ofstream(session, std::ios::binary)
        << "time,record,kind,car,last_lb,last_lb_text,drive_pwm,brake_pwm,lane_change,unit_id,unit_name,bytes_hex\n"
           "2026-12-07T09:43:51.123+01:00,1,status,7,111,no LB yet,12,0,0,5,SIM,53 00\n"
           "2026-12-07T09:43:51.153+01:00,2,status,7,111,no LB yet,200,3,1,5,SIM,53 01\n"
           "2026-12-07T09:43:52.456+01:00,3,status,7,111,no LB yet,99,1,0,5,SIM,53 02\n";
    const fs::path book = FDir / "s.xlsx";
    const ExportResult result = workbook::ExportSessionWorkbook(session, book);
    ASSERT_EQ(result.status, ExportResult::Status::Done) << result.error;
    EXPECT_EQ(Formatted(1.5), "1,5");  // the thread's own locale back

    const std::string records = Part(book, "xl/worksheets/sheet1.xml");
    EXPECT_NE(records.find("<v>46363.405"), std::string::npos) << records.substr(0, 2000);  // the first time
    const std::string summary = Part(book, "xl/worksheets/sheet2.xml");
    for (const std::string& part : {records, summary}) {
        EXPECT_FALSE(std::regex_search(part, std::regex("<v>[^<]*,"))) << "a number with a comma: " << part.substr(0, 2000);
    }
    // The summary's fractional figures (records a second, the drive's mean) are numbers, not texts.
    EXPECT_TRUE(std::regex_search(summary, std::regex("<c r=\"C2\"><v>[0-9]+\\.[0-9]+</v>"))) << summary;
    EXPECT_TRUE(std::regex_search(summary, std::regex("<c r=\"G2\"><v>[0-9]+\\.[0-9]+</v>"))) << summary;

    const fs::path checks = FDir / "checks.csv";
    std::ofstream(checks, std::ios::binary) << "time,unit,car,verdict,max_drive,mean_gap_ms\n"
                                               "2026-12-07T09:43:51+01:00,SIM,2,ok,255,41.5\n";
    const fs::path checksBook = FDir / "checks.xlsx";
    ASSERT_EQ(workbook::ExportChecksWorkbook(checks, checksBook).status, ExportResult::Status::Done);
    EXPECT_EQ(Formatted(1.5), "1,5");
    const std::string sheet = Part(checksBook, "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("<v>41.5</v>"), std::string::npos) << sheet;
    EXPECT_FALSE(std::regex_search(sheet, std::regex("<v>[^<]*,"))) << "a number with a comma: " << sheet;
}

} // namespace
