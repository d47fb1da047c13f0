#pragma once
// Exceptions and string helpers of the runtime layer.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace toolkit {

// Base of every exception the system raises on purpose; carries the message shown to the user.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    virtual std::string ClassName() const { return "Exception"; }
    std::string Message() const { return what(); }
};

// Raised when an object is asked to copy from one it cannot take values from.
class EConvertError : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "EConvertError"; }
};

// Stores value into field when they differ; true when it did (the caller then re-applies or
// repaints). The usual first step of a property setter.
template <class T>
bool StoreIfChanged(T& field, const T& value) {
    if (field == value) return false;
    field = value;
    return true;
}

// Fills each "%s" of a template, in order, with the given texts; "%%" is a literal percent sign.
// Anything else after a percent sign is copied as it stands. Never hands user text to printf.
std::string FormatStrings(const std::string& pattern, std::initializer_list<std::string> args);

} // namespace toolkit
