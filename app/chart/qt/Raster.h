#pragma once
// Lines and marks drawn straight into a 32-bit image. The painter's line stroker spends a couple
// of hundred nanoseconds on each segment; a plot of many cars has tens of thousands of them a
// frame, and this draws them for a few nanoseconds a pixel.
#include <QImage>
#include <QPolygon>
#include <QRect>

namespace chart {

class Raster {
public:
    // Draws into image (Format_RGB32 or ARGB32), nothing outside clip.
    Raster(QImage& image, const QRect& clip);

    void Polyline(const QPolygon& points, QRgb colour);
    void Fill(const QRect& rect, QRgb colour);

private:
    void Line(QPoint from, QPoint to, QRgb colour);
    void Plot(int x, int y, QRgb colour) {
        if (FClip.contains(x, y)) reinterpret_cast<QRgb*>(FBits + static_cast<qsizetype>(y) * FStride)[x] = colour;
    }

    uchar* FBits;
    qsizetype FStride;
    QRect FClip;
};

} // namespace chart
