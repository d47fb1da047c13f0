#pragma once
// Names of session files: the session's local start time and the unit, in characters that are
// safe in a file name on every system.
#include <string>
#include <string_view>

#include <cstdint>

#include "app/record/Time.h"
#include "toolkit/DateTime.h"

namespace recording {

// The unit as last named by a name record.
struct UnitIdentity {
    bool known = false;
    uint8_t id = 0;
    std::string nameUtf8;
};

// "2026-12-07_09-43-51_unit5_SIM-UNIT" (no extension); "..._unit-unknown" before any name record.
std::string SessionFileStem(toolkit::TDateTime start, const UnitIdentity& unit);

// Letters, digits and '-' stay; every other character (one per UTF-8 sequence) becomes '_'.
std::string FileNameSafe(std::string_view utf8);

// Whether a file name is one a session was recorded under: the folder's size cap deletes only these.
bool IsSessionFileName(std::string_view name);

} // namespace recording
