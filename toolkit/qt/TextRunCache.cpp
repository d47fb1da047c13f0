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
    FRuns.clear();
}

const TextRunCache::Run& TextRunCache::Lookup(const QString& piece, const QColor& color) {
    const QString key = QString::number(color.rgba(), 16) + QLatin1Char('|') + piece;
    auto it = FRuns.constFind(key);
    if (it != FRuns.constEnd()) return *it;
    if (FRuns.size() >= kMaxRuns) FRuns.clear();
    const QFontMetrics metrics(FFont);
    Run run;
    run.advance = metrics.horizontalAdvance(piece);
    const int w = qMax(1, metrics.boundingRect(piece).right() + 2);
    const int h = qMax(1, metrics.height());
    run.image = QImage(QSize(qCeil(w * FRatio), qCeil(h * FRatio)), QImage::Format_ARGB32_Premultiplied);
    run.image.setDevicePixelRatio(FRatio);
    run.image.fill(Qt::transparent);
    QPainter painter(&run.image);
    painter.setFont(FFont);
    painter.setPen(color);
    painter.drawText(QPoint(0, metrics.ascent()), piece);
    painter.end();
    return *FRuns.insert(key, run);
}

void TextRunCache::Draw(QPainter& p, const QRect& box, const QString& text, const QColor& color) {
    const QFontMetrics metrics(FFont);
    const int y = box.top() + (box.height() - metrics.height()) / 2;
    int x = box.left();
    ForEachPiece(text, [&](QStringView piece) {
        const int room = box.right() + 1 - x;
        if (room <= 0) return;  // the rest is cut off at the cell's edge
        const Run& run = Lookup(piece.toString(), color);
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
