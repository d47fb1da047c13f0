#pragma once
// The check window's live trace: the chosen car's drive over the last seconds. It repaints only
// itself, and only when given a new picture, drawn at the screen's pixel ratio with its frame kept
// from one picture to the next; the window's layout is left alone.
#include <QWidget>

#include "app/chart/Picture.h"
#include "app/chart/qt/PictureDrawing.h"

namespace check::ui {

class TracePane : public QWidget {
public:
    explicit TracePane(int height, QWidget* parent = nullptr);
    void Show(chart::Picture picture);
    const chart::Picture& Shown() const { return FPicture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    chart::Picture FPicture;
    chart::PictureImage FImage;
};

} // namespace check::ui
