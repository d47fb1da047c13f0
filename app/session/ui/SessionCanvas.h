#pragma once
// The session window's plot: paints the picture of the current view, and turns the mouse into
// what the window does with it: a click puts the cursor there, a drag pans, a range dragged on
// the time axis zooms to it, the wheel zooms around the pointer. The view itself is the
// window's: the canvas only asks.
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/chart/Picture.h"
#include "app/chart/qt/PictureDrawing.h"
#include "app/session/ui/SessionPlot.h"

namespace session::ui {

using chart::PlotLayout;
using chart::TimeView;

class SessionCanvas : public QWidget {
public:
    explicit SessionCanvas(QWidget* parent = nullptr);

    void SetData(const SessionData* data);
    void SetView(const TimeView& view);
    const TimeView& View() const { return FView; }
    void SetCursorTime(std::optional<int64_t> timeMs);
    void SetHidden(uint8_t car, bool hidden);
    bool IsHidden(uint8_t car) const { return FHidden[car]; }
    void SetNote(const QString& note);

    PlotLayout Layout() const { return PlotLayout::For(width(), height()); }
    // The picture as it is shown now; with its legend, as it is exported.
    chart::Picture Picture() const;
    chart::Picture PictureWithLegend() const;
    uint64_t PaintCount() const { return FPaintCount; }
    int64_t LastPaintNs() const { return FLastPaintNs; }  // building and drawing the last picture

    std::function<void(int64_t timeMs)> OnClicked;
    std::function<void(int64_t deltaMs)> OnPan;             // the view's start moves by this much
    std::function<void(int64_t aroundMs, double factor)> OnZoom;  // factor > 1 zooms in
    std::function<void(int64_t fromMs, int64_t toMs)> OnRange;

    QSize sizeHint() const override { return {900, 420}; }
    QSize minimumSizeHint() const override { return {320, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    enum class Drag { None, PanOrClick, Panning, Range };

    const SessionData* FData = nullptr;
    TimeView FView;
    std::optional<int64_t> FCursorMs;
    std::array<bool, 256> FHidden{};
    QString FNote;
    std::string FTimeSeparator;

    Drag FDrag = Drag::None;
    QPoint FPressAt;
    int FLastX = 0;
    int FRangeToX = -1;
    int FWheelEighths = 0;  // a high-resolution wheel's part steps, until they make a notch
    uint64_t FPaintCount = 0;
    int64_t FLastPaintNs = 0;
    chart::PictureImage FImage;
};

} // namespace session::ui
