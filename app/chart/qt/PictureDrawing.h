#pragma once
// A plot's picture drawn: as pixels for the window and a PNG, or as an SVG document. Both walk the
// same display list in the same order, so the window, the PNG and the SVG show one picture.
#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QPainter>

#include "app/chart/Picture.h"

namespace chart {

// The picture as pixels (RGB32), texts in font, at pixelRatio device pixels a pixel of the
// picture (a scaled screen's; the image says so, so a painter draws it at the picture's size).
// The frame is drawn once per size and frame and copied for later pictures with the same one (the
// live plot draws the same frame many times a second).
class PictureImage {
public:
    const QImage& Draw(const Picture& picture, const QFont& font, qreal pixelRatio = 1.0);

private:
    QImage FFrame;
    Layer FFrameLayer;
    QFont FFrameFont;
    int FWidth = 0, FHeight = 0;
    qreal FPixelRatio = 1.0;
    QImage FImage;
};

// Once, without keeping a frame, a pixel for each of the picture's (a PNG's).
QImage DrawPicture(const Picture& picture, const QFont& font);
// The picture as an SVG document.
QByteArray PictureToSvg(const Picture& picture, const QFont& font);
// The picture's lines, boxes and texts (not the cars' curves) drawn with a painter as shapes and
// text, for a vector document such as a PDF page; the painter's transform places them.
void DrawLayers(QPainter& painter, const Picture& picture, const QFont& font);
// The width of a text in font, for the picture's builder.
TextWidth WidthIn(const QFont& font);

} // namespace chart
