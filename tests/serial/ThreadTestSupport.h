#pragma once
// Shared by the event, write and hang-up tests: a recorder in place of the central error report.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "toolkit/ErrorReport.h"
#include "toolkit/Thread.h"

namespace threadtest {

class ReportRecorder {
public:
    ReportRecorder() {
        FPrevious = toolkit::SetErrorReportSink([this](const toolkit::ErrorReportEntry& e) {
            std::lock_guard<std::mutex> lock(FLock);
            FEntries.push_back(e);
        });
    }
    ~ReportRecorder() { toolkit::SetErrorReportSink(FPrevious); }
    std::vector<toolkit::ErrorReportEntry> Entries() const {
        std::lock_guard<std::mutex> lock(FLock);
        return FEntries;
    }
    size_t Count() const { return Entries().size(); }

private:
    mutable std::mutex FLock;
    std::vector<toolkit::ErrorReportEntry> FEntries;
    toolkit::ErrorReportSink FPrevious;
};

} // namespace threadtest
