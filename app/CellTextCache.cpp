#include "CellTextCache.h"

const QString& CellTextCache::Get(const std::string& utf8) {
    auto it = FTexts.find(utf8);
    if (it != FTexts.end()) return it->second;
    if (FTexts.size() >= kMaxTexts) FTexts.clear();
    return FTexts.emplace(utf8, QString::fromStdString(utf8)).first->second;
}
