#include "SessionReplay.h"

#include <stdexcept>

#include "app/recording/SessionCsv.h"

namespace unitsim {

namespace {
// The unit's 8-bit text from the file's UTF-8 (characters beyond 8 bits become '?').
std::string Latin1FromUtf8(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else if ((b & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            const unsigned cp = (b & 0x1Fu) << 6 | (static_cast<uint8_t>(utf8[i + 1]) & 0x3Fu);
            out += cp <= 0xFF ? static_cast<char>(cp) : '?';
            ++i;
        } else if ((b & 0xC0) != 0x80) {
            out += '?';
        }
    }
    return out;
}
} // namespace

SessionReplay::SessionReplay(const std::string& path) : FIn(path, std::ios::binary), FPath(path) {
    std::string header;
    if (!FIn || !std::getline(FIn, header)) throw std::runtime_error("cannot read " + path);
    if (!header.empty() && header.back() == '\r') header.pop_back();
    if (header + "\n" != recording::HeaderRow()) throw std::runtime_error(path + " is not a recorded session");
    FFirst = ReadRow(true);
}

std::optional<ReplayRecord> SessionReplay::Next() {
    if (FFirst) {
        std::optional<ReplayRecord> first = std::move(FFirst);
        FFirst.reset();
        return first;
    }
    return ReadRow(false);
}

std::optional<ReplayRecord> SessionReplay::ReadRow(bool takeIdentity) {
    std::string line;
    while (std::getline(FIn, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const auto fields = recording::SplitCsvLine(line);
        if (!fields || fields->size() != recording::kColumnCount) {
            ++FSkipped;
            continue;
        }
        const auto time = recording::ParseIsoTime((*fields)[recording::kTimeColumn]);
        auto bytes = recording::HexDecode((*fields)[recording::kBytesHexColumn]);
        if (!time || !bytes) {
            ++FSkipped;
            continue;
        }
        const std::string& id = (*fields)[recording::kUnitIdColumn];
        if (takeIdentity && !id.empty() && id.size() <= 3 && id.find_first_not_of("0123456789") == std::string::npos) {
            std::string name = (*fields)[recording::kUnitNameColumn];
            // The apostrophe that guards a leading formula character is the file's, not the unit's.
            if (name.size() > 1 && name[0] == '\'' && std::string("=+-@").find(name[1]) != std::string::npos) name.erase(0, 1);
            name = Latin1FromUtf8(name).substr(0, 8);
            name.resize(8, '\0');
            FIdentity = std::string(1, 'N').append(1, static_cast<char>(std::stoi(id) & 0xFF)).append(name);
        }
        return ReplayRecord{*time, std::move(*bytes)};
    }
    return std::nullopt;
}

} // namespace unitsim
