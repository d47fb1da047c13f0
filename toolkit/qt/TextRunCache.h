#pragma once
// Draws short texts from a cache of pre-rendered runs. The grid's cells change thousands of times
// a second but hold few distinct pieces ("9:05:03.", "042", "12 R", "Yes"...), and shaping text
// is the dearest part of a repaint; a cached run is a plain image copy.
#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QRect>
#include <QString>

#include <utility>
#include <vector>

class QPainter;

class TextRunCache {
public:
    // Draws text from the left edge of box, centred vertically, cut off at its right edge. Where
    // the box's background is one known opaque colour, give it: the runs are then made on it and
    // drawn as plain copies, without blending.
    void Draw(QPainter& p, const QRect& box, const QString& text, const QColor& color,
              const QColor& background = Qt::transparent);
    // Forget every run (the font or the device pixel ratio changed).
    void Reset(const QFont& font, qreal devicePixelRatio);

    // Runs held, over all colours.
    int RunCount() const;

private:
    struct Run {
        QImage image;
        int advance = 0;
    };
    using Runs = QHash<QString, Run>;
    struct Colors {
        QRgb Text;
        QRgb Background;
        bool operator==(const Colors&) const = default;
    };
    Runs& RunsFor(Colors colors);
    const Run& Lookup(Runs& runs, QStringView piece, const QColor& color, const QColor& background);

    static constexpr int kMaxRuns = 4096;  // per colour; bounded: cleared when full
    QFont FFont;
    qreal FRatio = 1.0;
    int FHeight = 0;  // of the font, taken once: a repaint draws hundreds of pieces
    int FAscent = 0;
    // A table uses two or three pairs of text and background colours; each has its own runs,
    // looked up by the piece alone, so a lookup builds no key.
    std::vector<std::pair<Colors, Runs>> FRunsByColor;
};
