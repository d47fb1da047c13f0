// Keeping windows on the screen: the arithmetic of placing a window inside a screen's available
// area, and bringing a window that lies off its screen back.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "toolkit/qt/ScreenFit.h"

namespace {

using toolkit::FitWindow;
using toolkit::KeepInside;
using toolkit::WindowPlace;

// The capture window's design: frame at (600, 190), client area 602 x 738.
WindowPlace Fit(const QRect& available, const QMargins& frame = {}) {
    return FitWindow(QPoint(600, 190), QSize(602, 738), available, frame);
}
const QMargins kFrame(4, 30, 4, 4);  // borders and a title bar

TEST(FitWindowTest, ADesignThatFitsKeepsItsPlaceAndSizeExactly) {
    EXPECT_EQ(Fit(QRect(0, 0, 1920, 1200)), (WindowPlace{{600, 190}, {602, 738}}));
    EXPECT_EQ(Fit(QRect(0, 0, 1920, 1200), kFrame), (WindowPlace{{600, 190}, {602, 738}}));
    EXPECT_EQ(Fit(QRect(0, 0, 1202, 928)), (WindowPlace{{600, 190}, {602, 738}})) << "to the last pixel";
}

TEST(FitWindowTest, TooSmallAScreenMovesTheWindowInsideAndOnlyThenMakesItSmaller) {
    // 1366 x 768 and 1280 x 800: it fits once moved up.
    EXPECT_EQ(Fit(QRect(0, 0, 1366, 768)), (WindowPlace{{600, 30}, {602, 738}}));
    EXPECT_EQ(Fit(QRect(0, 0, 1280, 800)), (WindowPlace{{600, 62}, {602, 738}}));
    // 1920 x 1080 at 150 % is 1280 x 720: as high as the screen.
    EXPECT_EQ(Fit(QRect(0, 0, 1280, 720)), (WindowPlace{{600, 0}, {602, 720}}));
    // The frame counts too, and a panel at the top moves the area's start.
    EXPECT_EQ(Fit(QRect(0, 0, 1280, 760), kFrame), (WindowPlace{{600, 0}, {602, 726}}));
    EXPECT_EQ(Fit(QRect(0, 32, 1280, 688), kFrame), (WindowPlace{{600, 32}, {602, 654}}));
    // Narrower screens: moved left, and narrowed only when that is not enough.
    EXPECT_EQ(Fit(QRect(0, 0, 1024, 768)), (WindowPlace{{422, 30}, {602, 738}}));
    EXPECT_EQ(Fit(QRect(0, 0, 533, 400), kFrame), (WindowPlace{{0, 0}, {525, 366}}));
    // A screen left of the primary one.
    EXPECT_EQ(Fit(QRect(-1366, 0, 1366, 768)), (WindowPlace{{-602, 30}, {602, 738}}));
    // However small the area, a client area remains.
    EXPECT_EQ(Fit(QRect(0, 0, 20, 20), kFrame), (WindowPlace{{0, 0}, {12, 1}}));
}

TEST(KeepInsideTest, AFrameComesInsideByAsLittleAsNeeded) {
    const QRect area(0, 0, 1366, 768);
    const QRect inside(100, 100, 760, 560);
    EXPECT_EQ(KeepInside(inside, area), inside);
    EXPECT_EQ(KeepInside(inside, QRect()), inside) << "no area: nothing to do";
    EXPECT_EQ(KeepInside(QRect(1000, 100, 760, 560), area), QRect(606, 100, 760, 560)) << "off the right";
    EXPECT_EQ(KeepInside(QRect(100, 500, 760, 560), area), QRect(100, 208, 760, 560)) << "off the bottom";
    EXPECT_EQ(KeepInside(QRect(-50, -20, 760, 560), area), QRect(0, 0, 760, 560)) << "off the top left";
    // On a screen that is gone: the nearest corner.
    EXPECT_EQ(KeepInside(QRect(2500, 300, 760, 560), area), QRect(606, 208, 760, 560));
    EXPECT_EQ(KeepInside(QRect(-1800, -900, 760, 560), area), QRect(0, 0, 760, 560));
    // Larger than the area: made smaller to fit.
    EXPECT_EQ(KeepInside(QRect(300, 200, 1600, 1000), QRect(0, 40, 1280, 680)), QRect(0, 40, 1280, 680));
    EXPECT_EQ(KeepInside(QRect(300, 100, 700, 1000), QRect(0, 40, 1280, 680)), QRect(300, 40, 700, 680));
}

// A real window on the test platform's screen, whose windows have frames.
class KeepOnScreenTest : public ::testing::Test {
protected:
    QWidget window;
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();

    void SetUp() override { window.resize(300, 200); }
};

TEST_F(KeepOnScreenTest, AWindowOffItsScreenComesBackInside) {
    window.move(area.right() + 2000, area.bottom() + 500);  // a screen that is gone
    toolkit::KeepOnScreen(window);
    EXPECT_TRUE(area.contains(window.frameGeometry()));
    EXPECT_EQ(window.size(), QSize(300, 200));

    window.move(area.left() - 100, area.top() + 10);
    toolkit::KeepOnScreen(window);
    EXPECT_EQ(window.pos(), area.topLeft() + QPoint(0, 10)) << "partly off: moved no further than needed";

    window.setGeometry(QRect(area.topLeft() + QPoint(10, 10), area.size() + QSize(200, 200)));
    toolkit::KeepOnScreen(window);
    EXPECT_EQ(window.frameGeometry(), area) << "larger than the screen: made to fit";
}

TEST_F(KeepOnScreenTest, PlaceWindowPutsTheFrameWhereAskedByTheMarginsItIsGiven) {
    window.show();
    const QMargins known = toolkit::FrameMarginsOf(window);
    const WindowPlace place{area.topLeft() + QPoint(40, 30), QSize(320, 240)};
    toolkit::PlaceWindow(window, place, known);
    EXPECT_EQ(window.frameGeometry().topLeft(), place.FramePos);
    EXPECT_EQ(window.size(), place.Client);
    // Margins the window does not know yet (a title bar the window manager has just told of):
    // the client area goes inside them.
    const QMargins told(known.left(), known.top() + 20, known.right(), known.bottom());
    toolkit::PlaceWindow(window, place, told);
    EXPECT_EQ(window.geometry(), QRect(place.FramePos + QPoint(told.left(), told.top()), place.Client));
}

} // namespace
