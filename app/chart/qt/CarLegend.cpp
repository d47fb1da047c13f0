#include "app/chart/qt/CarLegend.h"

#include <QFont>
#include <QIcon>
#include <QPixmap>

namespace chart {

namespace {
constexpr int kCarRole = Qt::UserRole;

QIcon Swatch(const QColor& colour) {
    QPixmap pixmap(12, 12);
    pixmap.fill(colour);
    return QIcon(pixmap);
}
} // namespace

QListWidget* NewCarLegend(QWidget* parent) {
    auto* legend = new QListWidget(parent);
    legend->setFixedWidth(96);
    legend->setFocusPolicy(Qt::NoFocus);
    legend->setSelectionMode(QAbstractItemView::NoSelection);
    legend->setToolTip(QStringLiteral("Click a car to hide or show it"));
    return legend;
}

void AddLegendEntry(QListWidget& legend, const QColor& colour, uint8_t car) {
    auto* item = new QListWidgetItem(Swatch(colour), QStringLiteral("Car %1").arg(car), &legend);
    item->setData(kCarRole, car);
}

uint8_t LegendCar(const QListWidgetItem& item) { return static_cast<uint8_t>(item.data(kCarRole).toInt()); }

void MarkLegendEntry(QListWidgetItem& item, bool hidden, const QPalette& palette) {
    QFont f = item.font();
    f.setStrikeOut(hidden);
    item.setFont(f);
    item.setForeground(hidden ? palette.color(QPalette::Disabled, QPalette::Text) : palette.color(QPalette::Text));
}

} // namespace chart
