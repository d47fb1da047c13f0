#pragma once
// Reads a recorded session file row by row, for playing it back on the line.
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

namespace unitsim {

struct ReplayRecord {
    int64_t timeMs = 0;  // since 1970-01-01 UTC
    std::string bytes;   // the record, unescaped
};

class SessionReplay {
public:
    // Throws std::runtime_error when the file cannot be read or is not a session file.
    explicit SessionReplay(const std::string& path);

    // The next record; nothing at the end. Rows that cannot be read are skipped and counted.
    std::optional<ReplayRecord> Next();
    uint64_t SkippedRows() const { return FSkipped; }

    // The name record that names the unit of the first row (the unit answers with one after the
    // setup command); empty when the file does not know the unit.
    const std::string& IdentityRecord() const { return FIdentity; }

private:
    std::optional<ReplayRecord> ReadRow(bool takeIdentity);

    std::ifstream FIn;
    std::string FPath;
    std::string FIdentity;
    std::optional<ReplayRecord> FFirst;
    uint64_t FSkipped = 0;
};

} // namespace unitsim
