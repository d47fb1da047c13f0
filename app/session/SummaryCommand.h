#pragma once
// torvane-capture --summary FILE: the per-car summary of a session file as CSV, without a
// window or a display. Plain C++.
#include <filesystem>
#include <string>

namespace session {

// Appends the summary to out and returns 0; for a file it cannot read, appends the reason to err
// (one line, naming the file) and returns 1. Skipped rows are reported on err, the CSV unchanged.
// The caller writes both where command-line answers go.
int RunSummaryCommand(const std::filesystem::path& path, std::string& out, std::string& err);

} // namespace session
