#pragma once
// The per-car summary as a table, one row per car, with the columns and figures of the summary
// CSV: the session window's and the live plot's. A car's colour in the plot marks its row.
#include <QColor>
#include <QTableWidget>

#include <cstdint>
#include <functional>

#include "app/chart/Summary.h"

namespace chart {

class SummaryTable : public QTableWidget {
public:
    // Asks for room for this many cars at most; more scroll.
    static constexpr int kMostRowsAsked = 8;

    explicit SummaryTable(QWidget* parent = nullptr);

    // Shows summary; colourOf (may be empty) gives a car's colour in the plot beside.
    void Show(const Summary& summary, const std::function<QColor(uint8_t car)>& colourOf = {});
    // The texts shown, row by row (for tests and for copying).
    QStringList RowTexts(int row) const;

    QSize sizeHint() const override;
};

} // namespace chart
