#pragma once
// The serial component's error class and its message rule.
#include <cstdint>
#include <string>

#include "toolkit/SysUtils.h"

class EVaCommError : public toolkit::Exception {
public:
    explicit EVaCommError(const std::string& message, int errorCode = 0) : Exception(message), FErrorCode(errorCode) {}
    std::string ClassName() const override { return "EVaCommError"; }
    // The errno behind the failure (0 when none), so callers can tell "busy" from "denied".
    int ErrorCode() const { return FErrorCode; }

private:
    int FErrorCode;
};

namespace vautils {

// The system's text for an error number with trailing blanks, control characters and full
// stops removed.
std::string SystemErrorText(int error);

// Completes a message template: each "%d" and "%s" takes the next argument of the pair
// (error number, its system text); "%%" is a percent sign. A template without placeholders
// comes back unchanged.
std::string FormatCommMessage(const std::string& templ, int error);

// Doubles every percent sign, so that text placed into a template is never read as a
// placeholder later on.
std::string EscapePercent(const std::string& text);

// Formats a device-name template with one integer: at most one "%d"/"%u"/"%x"/"%X" (with an
// optional '-' or '0' flag and a width); "%%" is a percent sign. Throws toolkit::EConvertError
// for any other placeholder or for more than one.
std::string FormatDeviceName(const std::string& templ, int32_t value);

// Raises EVaCommError with FormatCommMessage(templ, error).
[[noreturn]] void RaiseCommError(const std::string& templ, int error);

} // namespace vautils
