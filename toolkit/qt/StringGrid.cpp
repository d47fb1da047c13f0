#include "StringGrid.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>

TStringGrid::TStringGrid(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    FRepaintTimer.setSingleShot(true);
    FRepaintTimer.setTimerType(Qt::PreciseTimer);
    connect(&FRepaintTimer, &QTimer::timeout, this, [this] { RepaintDirtyRows(); });
    // A display slower than the grid's own pace sets it.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const qreal hz = screen->refreshRate();
        if (hz >= 1.0) FFrameIntervalMs = qMax(FFrameIntervalMs, static_cast<int>(1000.0 / hz));
    }
    ResizeCells();
}

void TStringGrid::SetColCount(int n) {
    FColCount = qMax(1, n);
    ResizeCells();
}

void TStringGrid::SetRowCount(int n) {
    FRowCount = qMax(1, n);
    ResizeCells();
}

void TStringGrid::SetDefaultColWidth(int w) {
    FDefaultColWidth = w;
    ++FLayoutGeneration;
    FColWidths.fill(w);
    ScheduleRepaint();
}

void TStringGrid::SetDefaultRowHeight(int h) {
    FDefaultRowHeight = h;
    LayOutRows();
}

int TStringGrid::LowestRowHeight() const { return qMin(FDefaultRowHeight, QFontMetrics(font()).height()); }

int TStringGrid::FittingRowHeight(int height, int rows, int wanted, int lowest) {
    if (rows <= 0) return wanted;
    return qBound(qMin(lowest, wanted), height / rows - kGridLine, wanted);
}

void TStringGrid::LayOutRows() {
    const int before[] = {FRowHeight, FTopRow};
    FRowHeight = FittingRowHeight(height(), FRowCount, FDefaultRowHeight, LowestRowHeight());
    FTopRow = qBound(FFixedRows, FTopRow, qMax(FFixedRows, FRowCount - RowsShown()));
    ScrollTo(FSelRow);
    if (before[0] == FRowHeight && before[1] == FTopRow) return;
    ++FLayoutGeneration;
    ScheduleRepaint();
}

int TStringGrid::RowsShown() const {
    const int pitch = FRowHeight + kGridLine;
    return qMax(1, (height() - FFixedRows * pitch) / pitch);
}

bool TStringGrid::RowShown(int row) const {
    return row < FFixedRows || (row >= FTopRow && CellRect(0, row).top() < height());
}

void TStringGrid::ScrollTo(int row) {
    if (row < FFixedRows || row >= FRowCount) return;
    if (row >= FTopRow && row < FTopRow + RowsShown()) return;  // wholly in view
    FTopRow = row < FTopRow ? row : row - RowsShown() + 1;
    ++FLayoutGeneration;
    ScheduleRepaint();
}

void TStringGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutRows();
}

void TStringGrid::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) LayOutRows();
}

void TStringGrid::SetColWidth(int col, int w) {
    if (col < 0 || col >= FColCount) return;
    FColWidths[col] = w;
    ++FLayoutGeneration;
    ScheduleRepaint();
}

void TStringGrid::ResizeCells() {
    ++FLayoutGeneration;
    FColWidths.resize(FColCount, FDefaultColWidth);
    FCells.resize(FColCount * FRowCount);
    FDirtyRows.resize(FRowCount, true);
    LayOutRows();
    ScheduleRepaint();
}

QString TStringGrid::Cell(int col, int row) const {
    if (col < 0 || row < 0 || col >= FColCount || row >= FRowCount) return {};
    return FCells[row * FColCount + col];
}

void TStringGrid::SetCell(int col, int row, const QString& text) {
    if (col < 0 || row < 0 || col >= FColCount || row >= FRowCount) return;
    QString& cell = FCells[row * FColCount + col];
    if (cell == text) return;
    cell = text;
    ScheduleRepaint(row);
}

void TStringGrid::SetSelection(int col, int row) {
    if (col != FSelCol || row != FSelRow) {
        ScheduleRepaint(FSelRow);
        FSelCol = col;
        FSelRow = row;
        ScheduleRepaint(row);
        ScrollTo(row);
    }
    if (OnSelectionChanged) OnSelectionChanged(col, row);
}

void TStringGrid::ScheduleRepaint() {
    for (int row = 0; row < FRowCount; ++row) ScheduleRepaint(row);
}

void TStringGrid::RepaintDirtyRows() {
    // Contiguous runs of dirty rows shown become one rectangle each.
    const int pitch = FRowHeight + kGridLine;
    QRegion region;
    for (int row = 0; row < FRowCount;) {
        if (!FDirtyRows[row] || !RowShown(row)) {
            FDirtyRows[row++] = false;
            continue;
        }
        const int first = row;
        while (row < FRowCount && FDirtyRows[row] && RowShown(row)) FDirtyRows[row++] = false;
        region += QRect(0, CellRect(0, first).top(), width(), (row - first) * pitch + kGridLine);
    }
    if (!region.isEmpty()) update(region);
}

void TStringGrid::ScheduleRepaint(int row) {
    if (row < 0 || row >= FRowCount) return;
    FDirtyRows[row] = true;
    if (FRepaintTimer.isActive()) return;
    const qint64 since = FSinceLastPaint.isValid() ? FSinceLastPaint.elapsed() : FFrameIntervalMs;
    FRepaintTimer.start(static_cast<int>(qMax<qint64>(0, FFrameIntervalMs - since)));
}

QRect TStringGrid::CellRect(int col, int row) const {
    int x = 0;
    for (int c = 0; c < col; ++c) x += FColWidths[c] + kGridLine;
    // Rows scrolled out of view lie above the fixed rows, where nothing is drawn.
    const int shownAs = row < FFixedRows ? row : row - FTopRow + FFixedRows;
    return QRect(x, shownAs * (FRowHeight + kGridLine), FColWidths[col], FRowHeight);
}

void TStringGrid::paintEvent(QPaintEvent* event) {
    FSinceLastPaint.start();
    ++FPaintCount;
    QPainter p(this);
    const QPalette& pal = palette();
    const QRegion& dirty = event->region();
    if (FTextFont != font() || FTextRatio != devicePixelRatioF()) {
        FTextFont = font();
        FTextRatio = devicePixelRatioF();
        FText.Reset(FTextFont, FTextRatio);
    }
    // Everything but the texts and the selection is one copy of the prepared background.
    const QImage& background = Background();
    const QRect area = event->rect();
    const qreal ratio = background.devicePixelRatio();
    p.drawImage(QRectF(area), background,
                QRectF(area.left() * ratio, area.top() * ratio, area.width() * ratio, area.height() * ratio));
    const QColor base = pal.color(QPalette::Base);
    const QColor face = pal.color(QPalette::Button);
    const QColor text = pal.color(QPalette::Active, QPalette::Text);
    const QColor highlight = pal.color(QPalette::Active, QPalette::Highlight);
    const QColor highlightedText = pal.color(QPalette::Active, QPalette::HighlightedText);
    // Where a row is lower than its text's box, the text may use the cell's whole height.
    const int textInset = qBound(0, (FRowHeight - QFontMetrics(FTextFont).height()) / 2, 1);
    for (int row = 0; row < FRowCount; ++row) {
        if (!RowShown(row)) continue;
        for (int col = 0; col < FColCount; ++col) {
            const QRect r = CellRect(col, row);
            if (!dirty.intersects(r)) continue;
            const bool fixed = col < FFixedCols || row < FFixedRows;
            const bool selected = col == FSelCol && row == FSelRow;
            if (selected) p.fillRect(r, highlight);
            const QString& s = FCells[row * FColCount + col];
            if (s.isEmpty()) continue;
            // The text box lies inside the raised edges, so its background is the cell's colour.
            FText.Draw(p, r.adjusted(2, textInset, -2, -textInset), s, selected ? highlightedText : text,
                       selected ? highlight : fixed ? face : base);
        }
    }
}

const QImage& TStringGrid::Background() {
    const qreal ratio = devicePixelRatioF();
    const QPalette& pal = palette();
    const QColor base = pal.color(QPalette::Base);
    const QColor face = pal.color(QPalette::Button);
    const QColor light = pal.color(QPalette::Light);
    const QColor shadow = pal.color(QPalette::Dark);
    const QColor gridLine = pal.color(QPalette::Mid);
    const BackgroundKey key{size(), ratio, {base.rgb(), face.rgb(), light.rgb(), shadow.rgb(), gridLine.rgb()},
                            FLayoutGeneration};
    if (key == FBackgroundKey && !FBackground.isNull()) return FBackground;
    FBackgroundKey = key;
    FBackground = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_RGB32);
    FBackground.setDevicePixelRatio(ratio);
    QPainter p(&FBackground);
    p.fillRect(rect(), base);
    for (int row = 0; row < FRowCount; ++row) {
        if (!RowShown(row)) continue;
        for (int col = 0; col < FColCount; ++col) {
            if (col >= FFixedCols && row >= FFixedRows) continue;
            const QRect r = CellRect(col, row);
            p.fillRect(r, face);
            // Raised look: light top and left edges, dark bottom and right edges on top.
            p.fillRect(QRect(r.left(), r.top(), r.width(), 1), light);
            p.fillRect(QRect(r.left(), r.top(), 1, r.height()), light);
            p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), shadow);
            p.fillRect(QRect(r.right(), r.top(), 1, r.height()), shadow);
        }
    }
    // The grid lines right of every column and below every row.
    int lastRow = FRowCount - 1;
    while (lastRow > 0 && !RowShown(lastRow)) --lastRow;
    const QRect last = CellRect(FColCount - 1, lastRow);
    const int gridRight = last.right() + kGridLine;
    const int gridBottom = last.bottom() + kGridLine;
    for (int col = 0; col < FColCount; ++col) {
        p.fillRect(QRect(CellRect(col, 0).right() + 1, 0, kGridLine, gridBottom + 1), gridLine);
    }
    for (int row = 0; row < FRowCount; ++row) {
        if (RowShown(row)) p.fillRect(QRect(0, CellRect(0, row).bottom() + 1, gridRight + 1, kGridLine), gridLine);
    }
    return FBackground;
}
