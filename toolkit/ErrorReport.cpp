#include "ErrorReport.h"

#include <cstdio>
#include <mutex>

#include "SysUtils.h"

namespace toolkit {

namespace {
std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}
ErrorReportSink& Sink() {
    static ErrorReportSink sink;
    return sink;
}

ErrorReportEntry Describe(TObject* Sender, std::exception_ptr error) {
    ErrorReportEntry entry;
    entry.Sender = Sender;
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        entry.ClassName = e.ClassName();
        entry.Message = e.Message();
    } catch (const std::exception& e) {
        entry.ClassName = "std::exception";
        entry.Message = e.what();
    } catch (...) {
        entry.ClassName = "unknown";
        entry.Message = "Unknown error";
    }
    return entry;
}
} // namespace

ErrorReportSink SetErrorReportSink(ErrorReportSink sink) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    ErrorReportSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}

void ReportException(TObject* Sender, std::exception_ptr error) {
    if (!error) return;
    const ErrorReportEntry entry = Describe(Sender, error);
    ErrorReportSink sink;
    {
        std::lock_guard<std::mutex> lock(SinkMutex());
        sink = Sink();
    }
    if (sink) {
        sink(entry);
    } else {
        std::fprintf(stderr, "%s: %s\n", entry.ClassName.c_str(), entry.Message.c_str());
    }
}

bool RunReportingErrors(TObject* Sender, const std::function<void()>& fn) {
    try {
        fn();
        return true;
    } catch (...) {
        ReportException(Sender, std::current_exception());
        return false;
    }
}

} // namespace toolkit
