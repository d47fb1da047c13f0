#pragma once
// The table's recurring cell texts, converted once. Most cells of a status record take one of a
// few hundred texts (a byte's decimal, a "Last LB" text, "Yes" or "No"); a kept text is shared by
// every cell that shows it, so writing such a cell allocates nothing, where converting it anew
// would cost an allocation for the new text and a release of the old.
#include <QString>

#include <array>
#include <cstddef>
#include <string>
#include <unordered_map>

class CellTextCache {
public:
    // Bounded whatever a unit sends: emptied when full.
    static constexpr size_t kMaxTexts = 1024;

    // The text (UTF-8) as the grid holds it.
    const QString& Get(const std::string& utf8);
    size_t Size() const { return FTexts.size(); }

private:
    std::unordered_map<std::string, QString> FTexts;
    // A byte's decimal ("0" to "255") is found by its value, without hashing the text.
    std::array<QString, 256> FByteValues;
};
