#pragma once
// A grid of text cells with fixed (header) rows and columns, drawn by hand so that writing a
// cell is cheap: a write only marks the grid dirty, and repaints are coalesced to at most one
// per frame (20 a second, or the display's rate where it is slower) however many cells change
// in between.
#include <QElapsedTimer>
#include <QImage>
#include <QRegion>

#include "TextRunCache.h"
#include <QString>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <functional>
#include <vector>

class TStringGrid : public QWidget {
public:
    explicit TStringGrid(QWidget* parent = nullptr);

    int ColCount() const { return FColCount; }
    int RowCount() const { return FRowCount; }
    void SetColCount(int n);
    void SetRowCount(int n);
    int FixedCols() const { return FFixedCols; }
    int FixedRows() const { return FFixedRows; }
    void SetDefaultColWidth(int w);
    void SetDefaultRowHeight(int h);
    int ColWidth(int col) const { return FColWidths.value(col, FDefaultColWidth); }
    void SetColWidth(int col, int w);
    int DefaultRowHeight() const { return FDefaultRowHeight; }
    // Rows are lower than the default where the grid is too low to show them all, down to the
    // height of their text; below that they keep it and the rows under the fixed ones scroll,
    // keeping the selected row in view.
    int RowHeight() const { return FRowHeight; }
    int LowestRowHeight() const;  // the text's height, or the default where that is lower
    // The least height at which every row shows.
    int HeightShowingAllRows() const { return FRowCount * (LowestRowHeight() + kGridLine); }
    // The first row shown under the fixed rows (the first row after them unless scrolled).
    int TopRow() const { return FTopRow; }
    // The row height that shows `rows` rows in `height` pixels: `wanted` where they fit at it,
    // never below `lowest`.
    static int FittingRowHeight(int height, int rows, int wanted, int lowest);

    QString Cell(int col, int row) const;
    void SetCell(int col, int row, const QString& text);

    // The selected cell (one cell; col and row of its top left corner).
    int SelectionCol() const { return FSelCol; }
    int SelectionRow() const { return FSelRow; }
    void SetSelection(int col, int row);

    // Told after every selection, also of the cell already selected (the decoder selects once
    // per record written).
    std::function<void(int col, int row)> OnSelectionChanged;

    // Paints that actually ran; the benchmark reads it.
    quint64 PaintCount() const { return FPaintCount; }
    // A repaint is waiting for its frame.
    bool FrameDue() const { return FRepaintTimer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ResizeCells();
    void LayOutRows();
    void ScrollTo(int row);
    int RowsShown() const;  // of those under the fixed rows
    bool RowShown(int row) const;
    void ScheduleRepaint();
    void ScheduleRepaint(int row);
    void RepaintDirtyRows();
    QRect CellRect(int col, int row) const;
    // The grid without its texts and selection: faces, edges and lines, made again when the
    // size, the colours or the layout changed.
    const QImage& Background();

    int FColCount = 5;
    int FRowCount = 5;
    int FFixedCols = 1;
    int FFixedRows = 1;
    int FDefaultColWidth = 64;
    int FDefaultRowHeight = 24;
    int FRowHeight = 24;
    int FTopRow = 1;
    static constexpr int kGridLine = 1;
    QVector<int> FColWidths;
    QVector<QString> FCells;
    int FSelCol = 1;
    int FSelRow = 1;
    QTimer FRepaintTimer;
    std::vector<bool> FDirtyRows;  // rows changed since the last repaint
    QElapsedTimer FSinceLastPaint;
    // A table of figures is read, not watched move: 20 frames a second show the figures faster
    // than anyone reads them, and each paint keeps the main thread from the next record a while.
    int FFrameIntervalMs = 1000 / 20;
    quint64 FPaintCount = 0;
    TextRunCache FText;
    QFont FTextFont;
    qreal FTextRatio = 0;
    // What the background is made from: the colours are those of the palette's current group,
    // which follows the widget's enabled and active state.
    struct BackgroundKey {
        QSize Size;
        qreal Ratio = 0;
        std::array<QRgb, 5> Colors{};  // base, face, light, shadow, grid line
        quint64 Layout = 0;
        bool operator==(const BackgroundKey&) const = default;
    };
    quint64 FLayoutGeneration = 0;  // column widths, row height, counts
    BackgroundKey FBackgroundKey;
    QImage FBackground;
};
