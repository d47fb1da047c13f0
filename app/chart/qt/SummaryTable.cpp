#include "app/chart/qt/SummaryTable.h"

#include <QHeaderView>
#include <QPixmap>

#include <algorithm>

namespace chart {

namespace {
QStringList HeaderNames() {
    QString header = QString::fromStdString(SummaryCsvHeader()).trimmed();
    return header.split(QLatin1Char(','));
}

// The CSV's names over two lines ("longest_gap_ms" as "longest / gap ms"), so ten columns fit
// beside the records table; the tooltip gives the CSV's name.
QString ShownHeader(const QString& csvName) {
    QString words = csvName;
    words.replace(QLatin1Char('_'), QLatin1Char(' '));
    words.replace(QStringLiteral("records per s"), QStringLiteral("records/s"));
    words.replace(QStringLiteral("lane change presses"), QStringLiteral("lane presses"));
    const qsizetype space = words.indexOf(QLatin1Char(' '));
    if (space > 0) words[space] = QLatin1Char('\n');
    return words;
}

QIcon Swatch(const QColor& colour) {
    QPixmap pixmap(10, 10);
    pixmap.fill(colour);
    return QIcon(pixmap);
}
} // namespace

SummaryTable::SummaryTable(QWidget* parent) : QTableWidget(parent) {
    const QStringList names = HeaderNames();
    setColumnCount(static_cast<int>(names.size()));
    QStringList shown;
    for (const QString& name : names) shown << ShownHeader(name);
    setHorizontalHeaderLabels(shown);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    for (int c = 0; c < columnCount(); ++c) {
        horizontalHeaderItem(c)->setToolTip(names[c]);
    }
}

void SummaryTable::Show(const Summary& summary, const std::function<QColor(uint8_t)>& colourOf) {
    const int rows = static_cast<int>(summary.cars.size());
    if (rowCount() != rows) {
        setRowCount(rows);
        updateGeometry();  // the size it asks for follows the cars
    }
    for (int r = 0; r < rows; ++r) {
        const CarSummary& car = summary.cars[static_cast<size_t>(r)];
        const std::vector<std::string> fields = SummaryFields(car, summary.spanMs);
        for (int c = 0; c < columnCount() && c < static_cast<int>(fields.size()); ++c) {
            const QString text = QString::fromStdString(fields[static_cast<size_t>(c)]);
            QTableWidgetItem* cell = item(r, c);
            if (cell == nullptr) {
                cell = new QTableWidgetItem;
                cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                setItem(r, c, cell);
            }
            if (cell->text() != text) cell->setText(text);
        }
        if (colourOf) item(r, 0)->setIcon(Swatch(colourOf(car.car)));
    }
}

QStringList SummaryTable::RowTexts(int row) const {
    QStringList texts;
    for (int c = 0; c < columnCount(); ++c) {
        const QTableWidgetItem* cell = item(row, c);
        texts << (cell != nullptr ? cell->text() : QString());
    }
    return texts;
}

QSize SummaryTable::sizeHint() const {
    const int rows = std::clamp(rowCount(), 2, kMostRowsAsked);
    const int height = horizontalHeader()->sizeHint().height() + rows * verticalHeader()->defaultSectionSize() + 2 * frameWidth();
    return {QTableWidget::sizeHint().width(), height};
}

} // namespace chart
