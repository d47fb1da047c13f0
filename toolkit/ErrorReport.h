#pragma once
// The application's central error report: one replaceable sink that receives every exception
// a handler lets escape, with the object that raised it. The window installs a message box;
// tests install a recorder.
#include <exception>
#include <functional>
#include <string>

namespace toolkit {

class TObject;

struct ErrorReportEntry {
    TObject* Sender = nullptr;
    std::string ClassName;  // "EVaCommError", "Exception", or "std::exception" for foreign ones
    std::string Message;
};

using ErrorReportSink = std::function<void(const ErrorReportEntry&)>;

// Installs a new sink and returns the previous one. An empty sink writes to standard error.
ErrorReportSink SetErrorReportSink(ErrorReportSink sink);

// Reports the exception in flight (call from a catch block) or the given one.
void ReportException(TObject* Sender, std::exception_ptr error = std::current_exception());

// Runs fn and reports whatever it throws; returns false when it threw.
bool RunReportingErrors(TObject* Sender, const std::function<void()>& fn);

} // namespace toolkit
