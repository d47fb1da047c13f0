#pragma once
// The list of cars beside a plot: one entry per car with its colour; clicking an entry hides or
// shows the car's curves. Shared by the live plot and the session window so both read alike.
#include <QColor>
#include <QListWidget>
#include <QPalette>

#include <cstdint>

namespace chart {

// The legend, empty: narrow, never taking the focus or a selection, telling what a click does.
QListWidget* NewCarLegend(QWidget* parent);
// Appends the entry of a car, drawn in its colour.
void AddLegendEntry(QListWidget& legend, const QColor& colour, uint8_t car);
// The car an entry stands for.
uint8_t LegendCar(const QListWidgetItem& item);
// Strikes out and greys an entry while its car is hidden, and restores it when shown again.
void MarkLegendEntry(QListWidgetItem& item, bool hidden, const QPalette& palette);

} // namespace chart
