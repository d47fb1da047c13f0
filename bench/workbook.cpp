// The session as a spreadsheet workbook, against the workbook library's own floor: a generated
// session of RECORDS records (2 million by default, CARS cars) is exported as --export-xlsx does,
// and the same cells (values read beforehand, not timed) are written by a bare loop over the
// library in the same constant-memory mode, alternating, best of ROUNDS each. Each export runs in
// the command's own process (torvane-capture --export-xlsx), so its peak memory is its own. Prints one JSON line:
//   export_x_bare  (target at most 1.3)    peak_above_one_record_mb (flat: the same for 2 and 20
//   million records, below 100)
// SESSION_FILE=path keeps the generated file there (and reuses it when it exists). MEMORY_ONLY=1
// measures only the export's peak memory (no bare loop, whose values would not fit for 20 million).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xlsxwriter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "SessionBenchFile.h"
#include "app/record/Csv.h"
#include "app/record/TableText.h"
#include "app/session/SessionScan.h"
#include "app/workbook/WorkbookExport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Row {
    double time;
    int offset;
    uint64_t number;
    bool status;
    uint8_t car, lastLb, drive, brake;
    bool lane;
    int unitId;
    std::string unitName, hex;
};

double BareWrite(const std::vector<Row>& rows, const fs::path& out) {
    const auto start = Clock::now();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(out.c_str(), &options);
    lxw_format* time = workbook_add_format(book);
    format_set_num_format(time, "yyyy-mm-dd hh:mm:ss.000");
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Records");
    lxw_row_t r = 1;
    int sheets = 1;
    for (const Row& row : rows) {
        if (r > workbook::kRowsPerSheet) {
            sheet = workbook_add_worksheet(book, ("Records " + std::to_string(++sheets)).c_str());
            r = 1;
        }
        char offset[16];
        std::snprintf(offset, sizeof offset, "+%02d:%02d", row.offset / 60, row.offset % 60);
        worksheet_write_number(sheet, r, 0, row.time, time);
        worksheet_write_string(sheet, r, 1, offset, nullptr);
        worksheet_write_number(sheet, r, 2, static_cast<double>(row.number), nullptr);
        worksheet_write_string(sheet, r, 3, row.status ? "status" : "name", nullptr);
        if (row.status) {
            worksheet_write_number(sheet, r, 4, row.car, nullptr);
            worksheet_write_number(sheet, r, 5, row.lastLb, nullptr);
            worksheet_write_string(sheet, r, 6, record::LastLbText(row.lastLb).c_str(), nullptr);
            worksheet_write_number(sheet, r, 7, row.drive, nullptr);
            worksheet_write_number(sheet, r, 8, row.brake, nullptr);
            worksheet_write_number(sheet, r, 9, row.lane, nullptr);
        }
        if (row.unitId >= 0) {
            worksheet_write_number(sheet, r, 10, row.unitId, nullptr);
            worksheet_write_string(sheet, r, 11, row.unitName.c_str(), nullptr);
        }
        worksheet_write_string(sheet, r, 12, row.hex.c_str(), nullptr);
        ++r;
    }
    workbook_close(book);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// torvane-capture --export-xlsx in a process of its own: its seconds and its peak resident
// memory in kB (from the kernel's account of the child), or false when it failed.
bool ChildExport(const fs::path& session, const fs::path& out, double& seconds, long& peakKb) {
    const std::string program = TORVANE_CAPTURE_PATH, option = "--export-xlsx", in = session.string(), to = out.string();
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(option.c_str()), const_cast<char*>(in.c_str()),
                    const_cast<char*>(to.c_str()), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    peakKb = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main() {
    const long records = sessionbench::EnvNumber("RECORDS", 2'000'000);
    const long cars = sessionbench::EnvNumber("CARS", 8);
    const long rounds = std::max(1L, sessionbench::EnvNumber("ROUNDS", 3));
    const fs::path dir = fs::temp_directory_path() / ("workbook-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const char* kept = std::getenv("SESSION_FILE");
    const fs::path session = kept && *kept ? fs::path(kept) : dir / "session.csv";
    if (!fs::exists(session)) sessionbench::WriteSessionFile(session, static_cast<uint64_t>(records), static_cast<int>(cars));

    // The command's peak less that of the command on an empty session: what the export holds.
    const fs::path empty = dir / "empty.csv";
    sessionbench::WriteSessionFile(empty, 1, 1);
    double idleSeconds = 0;
    long idleKb = 0;
    if (!ChildExport(empty, dir / "empty.xlsx", idleSeconds, idleKb)) {
        std::fprintf(stderr, "workbook_bench: the export of a one-record session failed\n");
        return 1;
    }

    // Its peak memory, measured before this process holds the bare loop's values: a spawned
    // child's peak counts what its parent had resident when it was started.
    double memorySeconds = 0;
    long peakKb = 0;
    if (!ChildExport(session, dir / "export.xlsx", memorySeconds, peakKb)) {
        std::fprintf(stderr, "workbook_bench: the export failed\n");
        return 1;
    }

    std::error_code ec;
    if (sessionbench::EnvNumber("MEMORY_ONLY", 0) != 0) {
        const auto workbookBytes = fs::file_size(dir / "export.xlsx", ec);
        fs::remove_all(dir, ec);
        std::printf("{\"records\": %ld, \"cars\": %ld, \"export_s\": %.2f, \"export_peak_mb\": %.1f, "
                    "\"peak_above_one_record_mb\": %.1f, \"workbook_mb\": %.1f, \"load1\": %.2f}\n",
                    records, cars, memorySeconds, peakKb / 1024.0, (peakKb - idleKb) / 1024.0,
                    static_cast<double>(workbookBytes) / 1e6, sessionbench::LoadAverage());
        return 0;
    }

    std::vector<Row> rows;
    session::ScanSessionFile(
        session,
        [&](const session::ScannedRow& s) {
            rows.push_back({static_cast<double>(s.time.LocalMs() + 25569 * record::kMsPerDay) / record::kMsPerDay,
                            s.time.utcOffsetMinutes, s.number, s.kind == record::Kind::Status, s.car, s.lastLb,
                            s.drivePwm, s.brakePwm, s.laneChange, s.unitId, s.unitName, record::HexEncode(s.bytes)});
        },
        nullptr, record::Texts::Read);

    double bestBare = 1e300, bestExport = 1e300;
    for (long round = 0; round < rounds; ++round) {
        bestBare = std::min(bestBare, BareWrite(rows, dir / "bare.xlsx"));
        double seconds = 0;
        long kb = 0;  // not the export's own: see above
        if (!ChildExport(session, dir / "export.xlsx", seconds, kb)) {
            std::fprintf(stderr, "workbook_bench: the export failed\n");
            return 1;
        }
        bestExport = std::min(bestExport, seconds);
    }
    const auto workbookBytes = fs::file_size(dir / "export.xlsx", ec);
    fs::remove_all(dir, ec);
    std::printf("{\"records\": %lu, \"cars\": %ld, \"rounds\": %ld, "
                "\"bare_s\": %.2f, \"export_s\": %.2f, \"export_x_bare\": %.2f, \"export_peak_mb\": %.1f, "
                "\"peak_above_one_record_mb\": %.1f, \"workbook_mb\": %.1f, \"load1\": %.2f}\n",
                static_cast<unsigned long>(rows.size()), cars, rounds,
                bestBare, bestExport, bestExport / bestBare, peakKb / 1024.0, (peakKb - idleKb) / 1024.0,
                static_cast<double>(workbookBytes) / 1e6, sessionbench::LoadAverage());
    return 0;
}
