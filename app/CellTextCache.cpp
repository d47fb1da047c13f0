#include "CellTextCache.h"

namespace {
// The value of a byte's decimal as std::to_string writes it ("7", "42", "255"), or -1.
int ByteValueOf(const std::string& text) {
    if (text.empty() || text.size() > 3 || (text.size() > 1 && text[0] == '0')) return -1;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value <= 255 ? value : -1;
}
} // namespace

const QString& CellTextCache::Get(const std::string& utf8) {
    if (const int value = ByteValueOf(utf8); value >= 0) {
        QString& text = FByteValues[static_cast<size_t>(value)];
        if (text.isNull()) text = QString::number(value);
        return text;
    }
    auto it = FTexts.find(utf8);
    if (it != FTexts.end()) return it->second;
    if (FTexts.size() >= kMaxTexts) FTexts.clear();
    return FTexts.emplace(utf8, QString::fromStdString(utf8)).first->second;
}
