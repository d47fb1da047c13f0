// The capture table's drawing: cell edges and grid lines, and texts drawn from cached runs.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "QtWait.h"

#include "toolkit/qt/StringGrid.h"
#include "toolkit/qt/TextRunCache.h"

namespace {

constexpr int kColWidth = 40;
constexpr int kRowHeight = 20;
constexpr int kPitchX = kColWidth + 1;  // a cell and its grid line
constexpr int kPitchY = kRowHeight + 1;

class StringGridTest : public ::testing::Test {
protected:
    TStringGrid grid;

    void SetUp() override {
        grid.SetColCount(3);
        grid.SetRowCount(3);
        grid.SetDefaultColWidth(kColWidth);
        grid.SetDefaultRowHeight(kRowHeight);
        grid.resize(3 * kPitchX + 10, 3 * kPitchY + 10);
    }
    QImage Picture() { return grid.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QRgb Colour(QPalette::ColorRole role) const { return grid.palette().color(QPalette::Active, role).rgb(); }
};

TEST_F(StringGridTest, CellsAreFramedByGridLinesAndFixedCellsLookRaised) {
    grid.SetSelection(2, 2);
    const QImage image = Picture();
    const QRgb mid = Colour(QPalette::Mid);
    // Grid lines right of and below every cell, including where they meet.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(image.pixel(i * kPitchX + kColWidth, kPitchY + 5), mid) << "vertical line " << i;
        EXPECT_EQ(image.pixel(kPitchX + 5, i * kPitchY + kRowHeight), mid) << "horizontal line " << i;
        EXPECT_EQ(image.pixel(i * kPitchX + kColWidth, i * kPitchY + kRowHeight), mid) << "corner " << i;
    }
    // A fixed cell: light top and left edges, dark bottom and right edges (the dark ones win at
    // the corners they share), its face inside.
    const int x = kPitchX, right = kPitchX + kColWidth - 1, bottom = kRowHeight - 1;
    EXPECT_EQ(image.pixel(x + 5, 0), Colour(QPalette::Light));
    EXPECT_EQ(image.pixel(x, 5), Colour(QPalette::Light));
    EXPECT_EQ(image.pixel(x + 5, bottom), Colour(QPalette::Dark));
    EXPECT_EQ(image.pixel(right, 5), Colour(QPalette::Dark));
    EXPECT_EQ(image.pixel(right, 0), Colour(QPalette::Dark));
    EXPECT_EQ(image.pixel(x, bottom), Colour(QPalette::Dark));
    EXPECT_EQ(image.pixel(x + 5, 5), Colour(QPalette::Button));
    // A plain cell is the base colour to its edges; the selected one is highlighted.
    EXPECT_EQ(image.pixel(kPitchX, kPitchY), Colour(QPalette::Base));
    EXPECT_EQ(image.pixel(kPitchX + kColWidth - 1, kPitchY + kRowHeight - 1), Colour(QPalette::Base));
    EXPECT_EQ(image.pixel(2 * kPitchX + 1, 2 * kPitchY + 1), Colour(QPalette::Highlight));
    // Beyond the last column and row the grid is plain base colour.
    EXPECT_EQ(image.pixel(3 * kPitchX + 5, 5), Colour(QPalette::Base));
    EXPECT_EQ(image.pixel(5, 3 * kPitchY + 5), Colour(QPalette::Base));
}

TEST_F(StringGridTest, CellTextShowsAndGoesAgainWhenEmptied) {
    const QImage blank = Picture();
    grid.SetCell(1, 1, QStringLiteral("12 R"));
    const QImage written = Picture();
    EXPECT_NE(written.copy(kPitchX, kPitchY, kColWidth, kRowHeight), blank.copy(kPitchX, kPitchY, kColWidth, kRowHeight));
    EXPECT_EQ(written.copy(2 * kPitchX, kPitchY, kColWidth, kRowHeight), blank.copy(2 * kPitchX, kPitchY, kColWidth, kRowHeight));
    grid.SetCell(1, 1, QString());
    EXPECT_EQ(Picture(), blank);
}

// What the window shows after the repaints its frames make of the changed rows equals a paint of
// the whole grid from scratch: texts that grow, shrink, empty and come back, a moving selection,
// rewritten fixed cells.
TEST_F(StringGridTest, FrameRepaintsShowTheSameAsAWholePaint) {
    grid.show();
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return grid.windowHandle() && grid.windowHandle()->isExposed(); }));
    const auto shown = [&] {
        return QGuiApplication::primaryScreen()->grabWindow(grid.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QString texts[] = {QStringLiteral("7"), QStringLiteral("9:05:03.042"), QStringLiteral("1 L*"), QString(),
                             QStringLiteral("255"), QStringLiteral("12 R"), QStringLiteral("No"), QStringLiteral("Yes")};
    int n = 0;
    for (int frame = 0; frame < 12; ++frame) {
        for (int i = 0; i < 5; ++i, ++n) {
            grid.SetCell(n % 3, n % 3 == 0 ? 1 + n % 2 : n % 3, texts[(n * 5 + frame) % 8]);
            grid.SetSelection(1 + n % 2, 1 + (n / 2) % 2);
        }
        // Until no frame is due: the last one has painted.
        ASSERT_TRUE(testsupport::WaitWithQtEvents([&] {
            QCoreApplication::sendPostedEvents();
            return !grid.FrameDue();
        }));
        EXPECT_TRUE(shown() == Picture()) << "frame " << frame;
    }
}

// The capture table's shape: a header row over 31 rows, rows 20 high by default.
class LowGridTest : public ::testing::Test {
protected:
    TStringGrid grid;
    int text = 0;

    void SetUp() override {
        grid.SetColCount(3);
        grid.SetRowCount(32);
        grid.SetDefaultColWidth(kColWidth);
        grid.SetDefaultRowHeight(kRowHeight);
        grid.resize(3 * kPitchX, 32 * kPitchY);
        grid.show();  // a hidden widget hears of its new sizes only when shown
        text = QFontMetrics(grid.font()).height();
        ASSERT_LT(text, kRowHeight);
    }
    QImage Picture() { return grid.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QRgb Colour(QPalette::ColorRole role) const { return grid.palette().color(QPalette::Active, role).rgb(); }
};

TEST_F(LowGridTest, RowsGetLowerToShowThemAllButNotBelowTheirText) {
    EXPECT_EQ(grid.RowHeight(), kRowHeight);
    grid.resize(grid.width(), 32 * kPitchY + 9);
    EXPECT_EQ(grid.RowHeight(), kRowHeight) << "no higher than the default";
    grid.resize(grid.width(), 32 * kPitchY - 1);
    EXPECT_EQ(grid.RowHeight(), kRowHeight - 1) << "one pixel short lowers the rows";
    grid.resize(grid.width(), 32 * (text + 1));
    EXPECT_EQ(grid.RowHeight(), text);
    EXPECT_EQ(grid.HeightShowingAllRows(), 32 * (text + 1));
    EXPECT_EQ(grid.TopRow(), 1);
    grid.resize(grid.width(), 10 * (text + 1));
    EXPECT_EQ(grid.RowHeight(), text) << "never below the text";
    grid.resize(grid.width(), 32 * kPitchY);
    EXPECT_EQ(grid.RowHeight(), kRowHeight) << "and back up again";
}

TEST_F(LowGridTest, LoweredRowsAreDrawnAtTheirHeightWithTheirTexts) {
    const QImage blank = Picture();
    grid.SetCell(1, 31, QStringLiteral("255"));
    grid.resize(grid.width(), 32 * (text + 1));
    const QImage image = Picture();
    const int pitch = text + 1;
    for (int row : {0, 1, 30, 31}) {
        EXPECT_EQ(image.pixel(kPitchX + 5, row * pitch + text), Colour(QPalette::Mid)) << "line under row " << row;
    }
    EXPECT_EQ(image.pixel(kPitchX + 5, pitch - 2), Colour(QPalette::Dark)) << "the header keeps its raised look";
    const QImage lastCell = image.copy(kPitchX, 31 * pitch, kColWidth, text);
    EXPECT_NE(lastCell, blank.copy(kPitchX, kPitchY, kColWidth, text)) << "the last row's text shows";
}

TEST_F(LowGridTest, TooLowToShowEveryRowItScrollsToTheSelectedRowUnderItsHeader) {
    const int pitch = text + 1;
    grid.resize(grid.width(), 6 * pitch);  // the header and five rows
    grid.SetSelection(1, 20);
    EXPECT_EQ(grid.TopRow(), 16) << "row 20 is the last one in view";
    QImage image = Picture();
    EXPECT_EQ(image.pixel(kPitchX + 5, 5 * pitch + 2), Colour(QPalette::Highlight));
    EXPECT_EQ(image.pixel(kPitchX + 5, 2), Colour(QPalette::Button)) << "the header stays on top";
    grid.SetSelection(1, 21);
    EXPECT_EQ(grid.TopRow(), 17);
    grid.SetSelection(1, 3);
    EXPECT_EQ(grid.TopRow(), 3) << "an earlier row comes in at the top";
    grid.SetSelection(1, 5);
    EXPECT_EQ(grid.TopRow(), 3) << "a row in view moves nothing";
    image = Picture();
    EXPECT_EQ(image.pixel(kPitchX + 5, 3 * pitch + 2), Colour(QPalette::Highlight));
    grid.SetCell(2, 31, QStringLiteral("12 R"));
    EXPECT_EQ(Picture(), image) << "a row out of view draws nothing";
    grid.SetCell(2, 4, QStringLiteral("12 R"));
    EXPECT_NE(Picture().copy(2 * kPitchX, 2 * pitch, kColWidth, text), image.copy(2 * kPitchX, 2 * pitch, kColWidth, text))
        << "row 4 shows second under the header";

    grid.SetSelection(1, 31);
    grid.resize(grid.width(), 32 * pitch);
    EXPECT_EQ(grid.TopRow(), 1) << "room for every row: nothing scrolled";
}

TEST(StringGridFitTest, FittingRowHeight) {
    // 32 rows, 20 high by default, text 13 high.
    EXPECT_EQ(TStringGrid::FittingRowHeight(5000, 32, 20, 13), 20) << "never above the default";
    EXPECT_EQ(TStringGrid::FittingRowHeight(663, 32, 20, 13), 19);
    EXPECT_EQ(TStringGrid::FittingRowHeight(0, 32, 20, 13), 13) << "never below the text";
    EXPECT_EQ(TStringGrid::FittingRowHeight(100, 32, 10, 13), 10) << "text higher than the default: the default";
    EXPECT_EQ(TStringGrid::FittingRowHeight(100, 0, 20, 13), 20) << "no rows";
}

QImage DrawWith(TextRunCache& cache, const QString& text, const QColor& colour) {
    QImage image(120, 24, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    cache.Draw(p, QRect(0, 0, 120, 24), text, colour);
    return image;
}

TEST(TextRunCacheTest, RunsAreKeptPerPieceAndColourAndDrawAsFresh) {
    QFont font;
    TextRunCache cache;
    cache.Reset(font, 1.0);
    const QImage first = DrawWith(cache, QStringLiteral("9:05:03.042"), Qt::black);
    EXPECT_EQ(cache.RunCount(), 2);  // "9:05:03." "042"
    EXPECT_EQ(DrawWith(cache, QStringLiteral("9:05:03.042"), Qt::black), first);
    EXPECT_EQ(cache.RunCount(), 2);
    DrawWith(cache, QStringLiteral("9:05:03.043"), Qt::black);
    EXPECT_EQ(cache.RunCount(), 3);  // only "043" is new
    DrawWith(cache, QStringLiteral("12 R"), Qt::black);
    EXPECT_EQ(cache.RunCount(), 5);  // "12 " "R"
    // The same piece in another colour is another run, and draws differently.
    EXPECT_NE(DrawWith(cache, QStringLiteral("9:05:03.042"), Qt::red), first);
    EXPECT_EQ(cache.RunCount(), 7);
    // A cache started afresh draws the same pixels as one that found every piece.
    TextRunCache fresh;
    fresh.Reset(font, 1.0);
    EXPECT_EQ(DrawWith(fresh, QStringLiteral("9:05:03.042"), Qt::black), first);
    cache.Reset(font, 1.0);
    EXPECT_EQ(cache.RunCount(), 0);
}

TEST(TextRunCacheTest, RunsStayBoundedWhateverTheTexts) {
    TextRunCache cache;
    cache.Reset(QFont(), 1.0);
    QImage image(60, 24, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    for (int i = 0; i < 5000; ++i) cache.Draw(p, QRect(0, 0, 60, 24), QString::number(i), Qt::black);
    EXPECT_LE(cache.RunCount(), 4096);
    EXPECT_GT(cache.RunCount(), 0);
}

} // namespace
