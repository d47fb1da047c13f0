#pragma once
// Where a workbook is written: checks on the destination made before anything is written, and
// the file written beside it under another name and renamed into place only once complete, so a
// failed or cancelled export leaves no half a workbook and an earlier one stays until the new one
// is whole. Plain C++.
#include <filesystem>
#include <optional>
#include <string>

namespace workbook {

// Why destination cannot take the workbook of source (none named, a folder, the source itself),
// or nothing when it can.
std::optional<std::string> DestinationProblem(const std::filesystem::path& source, const std::filesystem::path& destination);

// The name the workbook is written under until it is whole.
std::filesystem::path PartialPath(const std::filesystem::path& destination);

// The complete workbook at partial moved to destination; the reason when it could not be (the
// partial file is then removed).
std::optional<std::string> PutInPlace(const std::filesystem::path& partial, const std::filesystem::path& destination);

// An unfinished workbook removed.
void Discard(const std::filesystem::path& partial);

} // namespace workbook
