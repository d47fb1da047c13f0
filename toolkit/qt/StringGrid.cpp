#include "StringGrid.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
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
    ++FLayoutGeneration;
    ScheduleRepaint();
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
    }
    if (OnSelectionChanged) OnSelectionChanged(col, row);
}

void TStringGrid::ScheduleRepaint() {
    for (int row = 0; row < FRowCount; ++row) ScheduleRepaint(row);
}

void TStringGrid::RepaintDirtyRows() {
    // Contiguous runs of dirty rows become one rectangle each.
    const int pitch = FDefaultRowHeight + kGridLine;
    QRegion region;
    for (int row = 0; row < FRowCount;) {
        if (!FDirtyRows[row]) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < FRowCount && FDirtyRows[row]) FDirtyRows[row++] = false;
        region += QRect(0, first * pitch, width(), (row - first) * pitch + kGridLine);
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
    const int y = row * (FDefaultRowHeight + kGridLine);
    return QRect(x, y, FColWidths[col], FDefaultRowHeight);
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
    for (int row = 0; row < FRowCount; ++row) {
        for (int col = 0; col < FColCount; ++col) {
            const QRect r = CellRect(col, row);
            if (!dirty.intersects(r)) continue;
            const bool fixed = col < FFixedCols || row < FFixedRows;
            const bool selected = col == FSelCol && row == FSelRow;
            if (selected) p.fillRect(r, highlight);
            const QString& s = FCells[row * FColCount + col];
            if (s.isEmpty()) continue;
            // The text box lies inside the raised edges, so its background is the cell's colour.
            FText.Draw(p, r.adjusted(2, 1, -2, -1), s, selected ? highlightedText : text,
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
    const QRect last = CellRect(FColCount - 1, FRowCount - 1);
    const int gridRight = last.right() + kGridLine;
    const int gridBottom = last.bottom() + kGridLine;
    for (int col = 0; col < FColCount; ++col) {
        p.fillRect(QRect(CellRect(col, 0).right() + 1, 0, kGridLine, gridBottom + 1), gridLine);
    }
    for (int row = 0; row < FRowCount; ++row) {
        p.fillRect(QRect(0, CellRect(0, row).bottom() + 1, gridRight + 1, kGridLine), gridLine);
    }
    return FBackground;
}
