#include "app/check/ui/ProgressMark.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>

#include <algorithm>

namespace check::ui {

ProgressMark::ProgressMark(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMaximumHeight(10);
}

void ProgressMark::setValue(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == FValue) return;
    FValue = percent;
    update();
}

QSize ProgressMark::sizeHint() const { return {100, 10}; }

void ProgressMark::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.minimum = 0;
    option.maximum = 100;
    option.progress = FValue;
    option.textVisible = false;
    option.state |= QStyle::State_Horizontal;
    painter.drawControl(QStyle::CE_ProgressBar, option);
}

} // namespace check::ui
