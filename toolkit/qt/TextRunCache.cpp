#include "TextRunCache.h"

#include <QFontMetrics>
#include <QPainter>

namespace {
// Pieces end after a separator, so "9:05:03.042" is "9:" "05:" "03." "042": each piece recurs.
template <class Fn>
void ForEachPiece(const QString& text, Fn fn) {
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char(':') || c == QLatin1Char('.') || c == QLatin1Char(' ')) {
            fn(QStringView(text).mid(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < text.size()) fn(QStringView(text).mid(start));
}
} // namespace

void TextRunCache::Reset(const QFont& font, qreal devicePixelRatio) {
    FFont = font;
    FRatio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QFontMetrics metrics(FFont);
    FHeight = metrics.height();
    FAscent = metrics.ascent();
    FRunsByColor.clear();
}

int TextRunCache::RunCount() const {
    int n = 0;
    for (const auto& entry : FRunsByColor) n += static_cast<int>(entry.second.size());
    return n;
}

TextRunCache::Runs& TextRunCache::RunsFor(QRgb color) {
    for (auto& entry : FRunsByColor) {
        if (entry.first == color) return entry.second;
    }
    FRunsByColor.emplace_back(color, Runs());
    return FRunsByColor.back().second;
}

const TextRunCache::Run& TextRunCache::Lookup(Runs& runs, QStringView piece, const QColor& color) {
    // A key that borrows the piece's characters: found runs cost no allocation.
    const QString borrowed = QString::fromRawData(piece.data(), piece.size());
    auto it = runs.constFind(borrowed);
    if (it != runs.constEnd()) return *it;
    if (runs.size() >= kMaxRuns) runs.clear();
    const QString owned = piece.toString();
    const QFontMetrics metrics(FFont);
    Run run;
    run.advance = metrics.horizontalAdvance(owned);
    const int w = qMax(1, metrics.boundingRect(owned).right() + 2);
    const int h = qMax(1, FHeight);
    run.image = QImage(QSize(qCeil(w * FRatio), qCeil(h * FRatio)), QImage::Format_ARGB32_Premultiplied);
    run.image.setDevicePixelRatio(FRatio);
    run.image.fill(Qt::transparent);
    QPainter painter(&run.image);
    painter.setFont(FFont);
    painter.setPen(color);
    painter.drawText(QPoint(0, FAscent), owned);
    painter.end();
    return *runs.insert(owned, run);
}

void TextRunCache::Draw(QPainter& p, const QRect& box, const QString& text, const QColor& color) {
    Runs& runs = RunsFor(color.rgba());
    const int y = box.top() + (box.height() - FHeight) / 2;
    int x = box.left();
    ForEachPiece(text, [&](QStringView piece) {
        const int room = box.right() + 1 - x;
        if (room <= 0) return;  // the rest is cut off at the cell's edge
        const Run& run = Lookup(runs, piece, color);
        const qreal width = run.image.width() / FRatio;
        if (width <= room) {
            p.drawImage(QPoint(x, y), run.image);
        } else {
            p.drawImage(QRectF(x, y, room, run.image.height() / FRatio), run.image,
                        QRectF(0, 0, room * FRatio, run.image.height()));
        }
        x += run.advance;
    });
}
