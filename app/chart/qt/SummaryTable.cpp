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
    // Sized to the contents once per update (below): left to the header, every changed cell
    // would measure its whole column again, which with many cars takes the window's thread.
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    for (int c = 0; c < columnCount(); ++c) {
        horizontalHeaderItem(c)->setToolTip(names[c]);
    }
    resizeColumnsToContents();
}

void SummaryTable::Show(const Summary& summary, const std::function<QColor(uint8_t)>& colourOf) {
    const int rows = static_cast<int>(summary.cars.size());
    bool changed = rowCount() != rows || rows == 0;
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
            if (cell->text() != text) {
                cell->setText(text);
                changed = true;
            }
        }
        if (colourOf) {
            // The swatch is made again only when the car's colour changes.
            QTableWidgetItem* first = item(r, 0);
            const QRgb colour = colourOf(car.car).rgba();
            const QVariant shown = first->data(Qt::UserRole);
            if (!shown.isValid() || shown.toUInt() != colour) {
                first->setData(Qt::UserRole, colour);
                first->setIcon(Swatch(QColor::fromRgba(colour)));
                changed = true;
            }
        }
    }
    if (changed) resizeColumnsToContents();
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
