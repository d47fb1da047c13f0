#pragma once
// torvane-capture --summary FILE: the per-car summary of a session file as CSV, without a
// window or a display. Plain C++.
#include <cstdio>
#include <filesystem>

namespace session {

// Writes the summary to out and returns 0; for a file it cannot read, writes the reason to err
// (one line, naming the file) and returns 1. Skipped rows are reported on err, the CSV unchanged.
int RunSummaryCommand(const std::filesystem::path& path, std::FILE* out, std::FILE* err);

} // namespace session
