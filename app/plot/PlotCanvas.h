#pragma once
// Draws the plot model as the chart layer's picture: drive PWM in the upper pane, brake PWM in
// the lower, 0 to 255 against the last seconds of the view, one colour per car, lane changes as
// marks on the drive curve.
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

#include "app/chart/Picture.h"
#include "app/chart/qt/PictureDrawing.h"
#include "app/plot/PlotModel.h"

namespace plot {

class PlotCanvas : public QWidget {
public:
    PlotCanvas(const PlotModel& model, QWidget* parent = nullptr);

    void SetHidden(uint8_t car, bool hidden);
    bool IsHidden(uint8_t car) const { return FHidden[car]; }

    // The picture of the model as it is now, at the canvas's size.
    chart::Picture Picture() const;

    // The cars drawn by the last paint, and how many paints there were (for tests and benchmarks).
    const std::vector<uint8_t>& DrawnCars() const { return FDrawnCars; }
    uint64_t PaintCount() const { return FPaintCount; }
    // How long painting took: the last paint, and all of them together.
    int64_t LastPaintNs() const { return FLastPaintNs; }
    int64_t PaintNs() const { return FPaintNs; }

    QSize sizeHint() const override { return {640, 420}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const PlotModel& FModel;
    std::array<bool, 256> FHidden{};
    std::vector<uint8_t> FDrawnCars;
    uint64_t FPaintCount = 0;
    int64_t FLastPaintNs = 0;
    int64_t FPaintNs = 0;
    chart::PictureImage FImage;
};

} // namespace plot
