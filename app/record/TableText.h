#pragma once
// The capture table's texts of a record, made in one place for the live table and the session
// window alike. Plain C++.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/record/Record.h"

namespace record {

// The "Last LB" text of the last-LB byte: "12 R", "3 L*", "0", "no LB yet".
void AppendLastLbText(std::string& out, uint8_t b);
std::string LastLbText(uint8_t b);

// Car, Time (h:mm:ss.zzz in the record's local time, with the locale's time separator), Last LB,
// Drive PWM, Brake PWM, Lane Change ("Yes"/"No"). A name record has only its time.
std::array<std::string, 6> TableTexts(const Record& r, std::string_view timeSeparator);

} // namespace record
