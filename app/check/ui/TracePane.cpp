#include "app/check/ui/TracePane.h"

#include <QPainter>

namespace check::ui {

TracePane::TracePane(int height, QWidget* parent) : QWidget(parent) {
    setFixedHeight(height);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TracePane::Show(chart::Picture picture) {
    FPicture = std::move(picture);
    update();
}

void TracePane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (FPicture.width <= 0 || FPicture.height <= 0) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    painter.fillRect(rect(), Qt::white);
    painter.drawImage(0, 0, FImage.Draw(FPicture, font(), devicePixelRatioF()));
}

} // namespace check::ui
