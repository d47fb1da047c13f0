#include "TextRunCache.h"

#include <QFontMetrics>
#include <QPainter>

namespace {
// A text is drawn as at most two pieces: up to and including its last separator, and the rest.
// "9:05:03.042" is "9:05:03." and "042": the head stays the same for a second, the tail is one
// of a thousand; the other cells' texts recur whole. Fewer pieces, fewer image copies.
template <class Fn>
void ForEachPiece(const QString& text, Fn fn) {
    qsizetype split = text.size();
    for (qsizetype i = text.size() - 1; i > 0; --i) {
        const QChar c = text[i - 1];
        if (c == QLatin1Char(':') || c == QLatin1Char('.') || c == QLatin1Char(' ')) {
            split = i;
            break;
        }
    }
    fn(QStringView(text).left(split));
    if (split < text.size()) fn(QStringView(text).mid(split));
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

TextRunCache::Runs& TextRunCache::RunsFor(Colors colors) {
    for (auto& entry : FRunsByColor) {
        if (entry.first == colors) return entry.second;
    }
    FRunsByColor.emplace_back(colors, Runs());
    return FRunsByColor.back().second;
}

const TextRunCache::Run& TextRunCache::Lookup(Runs& runs, QStringView piece, const QColor& color,
                                              const QColor& background) {
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
    const bool opaque = background.alpha() == 255;
    run.image = QImage(QSize(qCeil(w * FRatio), qCeil(h * FRatio)),
                       opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    run.image.setDevicePixelRatio(FRatio);
    run.image.fill(opaque ? background : QColor(Qt::transparent));
    QPainter painter(&run.image);
    painter.setFont(FFont);
    painter.setPen(color);
    painter.drawText(QPoint(0, FAscent), owned);
    painter.end();
    return *runs.insert(owned, run);
}

void TextRunCache::Draw(QPainter& p, const QRect& box, const QString& text, const QColor& color,
                        const QColor& background) {
    Runs& runs = RunsFor({color.rgba(), background.alpha() == 255 ? background.rgba() : 0});
    const int y = box.top() + (box.height() - FHeight) / 2;
    int x = box.left();
    ForEachPiece(text, [&](QStringView piece) {
        if (x > box.right()) return;  // the rest is cut off at the box's edge
        const Run& run = Lookup(runs, piece, color, background);
        const QRect placed(QPoint(x, y), run.image.deviceIndependentSize().toSize());
        const QRect shown = placed & box;
        if (shown == placed) {
            p.drawImage(placed.topLeft(), run.image);
        } else if (!shown.isEmpty()) {
            const QRectF source((shown.left() - x) * FRatio, (shown.top() - y) * FRatio, shown.width() * FRatio,
                                shown.height() * FRatio);
            p.drawImage(QRectF(shown), run.image, source);
        }
        x += run.advance;
    });
}
