#pragma once
// Draws short texts from a cache of pre-rendered runs. The grid's cells change thousands of times
// a second but hold few distinct pieces ("9:", "05:", "042", "12 R", "Yes"...), and shaping text
// is the dearest part of a repaint; a cached run is a plain image copy.
#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QRect>
#include <QString>

class QPainter;

class TextRunCache {
public:
    // Draws text from the left edge of box, centred vertically, cut off at its right edge.
    void Draw(QPainter& p, const QRect& box, const QString& text, const QColor& color);
    // Forget every run (the font or the device pixel ratio changed).
    void Reset(const QFont& font, qreal devicePixelRatio);

private:
    struct Run {
        QImage image;
        int advance = 0;
    };
    const Run& Lookup(const QString& piece, const QColor& color);

    static constexpr int kMaxRuns = 4096;  // bounded: cleared when full
    QFont FFont;
    qreal FRatio = 1.0;
    QHash<QString, Run> FRuns;  // key: colour then piece
};
