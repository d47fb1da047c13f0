#include "app/plot/PlotCanvas.h"

#include <QElapsedTimer>
#include <QPainter>

#include "app/chart/Colours.h"

namespace plot {

PlotCanvas::PlotCanvas(const PlotModel& model, QWidget* parent) : QWidget(parent), FModel(model) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(240, 200);
}

void PlotCanvas::SetHidden(uint8_t car, bool hidden) {
    if (FHidden[car] == hidden) return;
    FHidden[car] = hidden;
    update();
}

chart::Picture PlotCanvas::Picture() const {
    chart::PictureRequest r;
    r.width = width();
    r.height = height();
    const chart::PlotLayout layout = chart::PlotLayout::For(r.width, r.height);
    r.axis = chart::RecentSecondsAxis(layout, FModel.WindowSeconds());
    const std::vector<uint8_t>& cars = FModel.Cars();
    for (size_t i = 0; i < cars.size(); ++i) r.cars.push_back({cars[i], chart::CarColour(i), FHidden[cars[i]]});
    r.columnsOf = [this](uint8_t car, int columns, std::vector<chart::Column>& out) { FModel.Columns(car, columns, out); };
    r.msPerColumn = FModel.WindowSeconds() * 1000.0 / std::max(layout.drive.width, 1);
    if (cars.empty()) r.note = "Waiting for status records";
    if (FModel.Paused()) r.corner = "Paused";
    r.textWidth = chart::WidthIn(font());
    return chart::BuildPicture(r);
}

void PlotCanvas::paintEvent(QPaintEvent*) {
    QElapsedTimer took;
    took.start();
    ++FPaintCount;
    const chart::Picture picture = Picture();
    FDrawnCars.clear();
    for (const chart::CarCurves& car : picture.cars) FDrawnCars.push_back(car.car);
    QPainter(this).drawImage(0, 0, FImage.Draw(picture, font(), devicePixelRatioF()));
    FLastPaintNs = took.nsecsElapsed();
    FPaintNs += FLastPaintNs;
}

} // namespace plot
