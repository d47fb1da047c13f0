#pragma once
// Draws the plot model: drive PWM in the upper pane, brake PWM in the lower, 0 to 255 against the
// last seconds of the view, one colour per car, lane changes as ticks on the drive curve.
#include <QImage>
#include <QPolygon>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

#include "app/plot/PlotModel.h"

namespace plot {

// The colour of the car first seen as the index-th.
QColor CarColour(size_t index);

class PlotCanvas : public QWidget {
public:
    PlotCanvas(const PlotModel& model, QWidget* parent = nullptr);

    void SetHidden(uint8_t car, bool hidden);
    bool IsHidden(uint8_t car) const { return FHidden[car]; }

    // The cars drawn by the last paint, and how many paints there were (for tests and benchmarks).
    const std::vector<uint8_t>& DrawnCars() const { return FDrawnCars; }
    uint64_t PaintCount() const { return FPaintCount; }
    // How long painting took: the last paint, and all of them together.
    int64_t LastPaintNs() const { return FLastPaintNs; }
    int64_t PaintNs() const { return FPaintNs; }

    QSize sizeHint() const override { return {640, 420}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Pane {
        QRectF area;
        const char* title;
    };
    void Paint();
    void DrawFrame(QPainter& p, const Pane& pane);
    void DrawTimeAxis(QPainter& p, const QRectF& area);
    const QPolygon& ToPixels(const Pane& pane, const std::vector<PlotPoint>& points);

    const PlotModel& FModel;
    std::array<bool, 256> FHidden{};
    std::vector<uint8_t> FDrawnCars;
    uint64_t FPaintCount = 0;
    int64_t FLastPaintNs = 0;
    int64_t FPaintNs = 0;
    QImage FBackground;
    int FBackgroundSeconds = 0;
    QImage FImage;
    QPolygon FPolyline;
};

} // namespace plot
