#pragma once
// Every error report made while it lives, in place of the central report (the message box in the
// window): the event and write threads report from their own threads, so it takes a lock.
#include <mutex>
#include <string>
#include <vector>

#include "toolkit/ErrorReport.h"

namespace testsupport {

class ReportRecorder {
public:
    ReportRecorder() {
        FPrevious = toolkit::SetErrorReportSink([this](const toolkit::ErrorReportEntry& e) {
            std::lock_guard<std::mutex> lock(FLock);
            FEntries.push_back(e);
        });
    }
    ~ReportRecorder() { toolkit::SetErrorReportSink(FPrevious); }
    ReportRecorder(const ReportRecorder&) = delete;
    ReportRecorder& operator=(const ReportRecorder&) = delete;

    std::vector<toolkit::ErrorReportEntry> Entries() const {
        std::lock_guard<std::mutex> lock(FLock);
        return FEntries;
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        for (const auto& e : Entries()) messages.push_back(e.Message);
        return messages;
    }
    size_t Count() const { return Entries().size(); }

private:
    mutable std::mutex FLock;
    std::vector<toolkit::ErrorReportEntry> FEntries;
    toolkit::ErrorReportSink FPrevious;
};

} // namespace testsupport
