#include "app/chart/qt/Raster.h"

#include <cstdlib>

namespace chart {

Raster::Raster(QImage& image, const QRect& clip)
    : FBits(image.bits()), FStride(image.bytesPerLine()), FClip(clip.intersected(image.rect())) {}

void Raster::Polyline(const QPolygon& points, QRgb colour) {
    if (points.size() == 1) Plot(points[0].x(), points[0].y(), colour);
    for (qsizetype i = 1; i < points.size(); ++i) Line(points[i - 1], points[i], colour);
}

void Raster::Fill(const QRect& rect, QRgb colour) {
    const QRect r = rect.intersected(FClip);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(FBits + static_cast<qsizetype>(y) * FStride);
        for (int x = r.left(); x <= r.right(); ++x) row[x] = colour;
    }
}

void Raster::Line(QPoint from, QPoint to, QRgb colour) {
    // Bresenham: every pixel the line crosses, both ends included.
    int x = from.x(), y = from.y();
    const int dx = std::abs(to.x() - x), sx = x < to.x() ? 1 : -1;
    const int dy = -std::abs(to.y() - y), sy = y < to.y() ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        Plot(x, y, colour);
        if (x == to.x() && y == to.y()) return;
        const int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x += sx; }
        if (e2 <= dx) { err += dx; y += sy; }
    }
}

} // namespace chart
