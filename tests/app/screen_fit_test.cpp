// Keeping windows on the screen: the arithmetic of placing a window inside a screen's available
// area, and bringing a window that lies off its screen back.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <optional>

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

TEST(FreeAreaTest, TheWorkAreaTakesPanelsOutOfEachScreen) {
    // Two 1366 x 768 screens side by side, a 40-pixel panel along the bottom of the desktop.
    const QRect left(0, 0, 1366, 768), right(1366, 0, 1366, 768);
    const QRect desktopWork(0, 0, 2732, 728);
    struct Case {
        const char* what;
        QRect available, screen;
        qreal ratio;
        std::optional<QRect> work;
        QRect expected;
    };
    const Case cases[] = {
        {"no work area told", left, left, 1.0, std::nullopt, left},
        {"left screen", left, left, 1.0, desktopWork, QRect(0, 0, 1366, 728)},
        {"right screen", right, right, 1.0, desktopWork, QRect(1366, 0, 1366, 728)},
        {"the toolkit already took it out", QRect(0, 0, 1366, 728), left, 1.0, desktopWork, QRect(0, 0, 1366, 728)},
        {"a panel at the top", left, left, 1.0, QRect(0, 25, 2732, 743), QRect(0, 25, 1366, 743)},
        // 1920 x 1080 at 150 % is 1280 x 720 logical: 1040 device rows are 693.3, rounded down.
        {"at 150 %", QRect(0, 0, 1280, 720), QRect(0, 0, 1280, 720), 1.5, QRect(0, 0, 1920, 1040), QRect(0, 0, 1280, 693)},
        {"a top panel at 150 %, rounded inwards", QRect(0, 0, 1280, 720), QRect(0, 0, 1280, 720), 1.5,
         QRect(0, 25, 1920, 1055), QRect(0, 17, 1280, 703)},
        {"a second screen at 200 %", QRect(1366, 0, 960, 540), QRect(1366, 0, 960, 540), 2.0, QRect(0, 0, 3286, 1040),
         QRect(1366, 0, 960, 520)},
        {"a work area off this screen is not taken", left, left, 1.0, QRect(3000, 0, 100, 100), left},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toolkit::FreeArea(c.available, c.screen, c.ratio, c.work), c.expected) << c.what;
    }
}

TEST(ScaledPlacementTest, MarginsRoundUpAndTheAreaLosesAPixelOnlyAtFractionalRatios) {
    // Frame margins told in device pixels (openbox: 1, 20, 1, 5; icewm: 5, 24, 5, 5).
    EXPECT_EQ(toolkit::LogicalMargins(QMargins(1, 20, 1, 5), 1.0), QMargins(1, 20, 1, 5));
    EXPECT_EQ(toolkit::LogicalMargins(QMargins(1, 20, 1, 5), 1.5), QMargins(1, 14, 1, 4));
    EXPECT_EQ(toolkit::LogicalMargins(QMargins(5, 24, 5, 5), 1.5), QMargins(4, 16, 4, 4));
    EXPECT_EQ(toolkit::LogicalMargins(QMargins(6, 30, 6, 3), 1.5), QMargins(4, 20, 4, 2)) << "whole: not one more";
    EXPECT_EQ(toolkit::LogicalMargins(QMargins(1, 20, 1, 5), 2.0), QMargins(1, 10, 1, 3));

    EXPECT_EQ(toolkit::SafeArea(QRect(0, 0, 1366, 728), 1.0), QRect(0, 0, 1366, 728));
    EXPECT_EQ(toolkit::SafeArea(QRect(0, 0, 960, 520), 2.0), QRect(0, 0, 960, 520));
    EXPECT_EQ(toolkit::SafeArea(QRect(0, 0, 1280, 693), 1.5), QRect(1, 1, 1278, 691));

    // The capture window at 1920 x 1080, 150 %, under openbox with a 40-pixel panel: its frame in
    // device pixels, as the platform rounds the client area, stays inside the 1920 x 1040 area.
    const QMargins margins = toolkit::LogicalMargins(QMargins(1, 20, 1, 5), 1.5);
    const WindowPlace place = Fit(toolkit::SafeArea(QRect(0, 0, 1280, 693), 1.5), margins);
    const QPoint client = place.FramePos + QPoint(margins.left(), margins.top());
    const int deviceTop = qRound(client.y() * 1.5) - 20;
    const int deviceBottom = qRound(client.y() * 1.5) + qRound(place.Client.height() * 1.5) + 5;
    EXPECT_GE(deviceTop, 0);
    EXPECT_LE(deviceBottom, 1040);
}

TEST(PlaceNearTest, AWindowWithNoPlaceOpensCentredOnItsOwnerAndInsideTheScreen) {
    struct Case {
        const char* what;
        QSize frame;
        QRect anchor, available;
        QRect expected;
    };
    const QRect design(600, 190, 604, 763);  // the capture window's frame where the design fits
    const Case cases[] = {
        {"room all round", QSize(762, 585), design, QRect(0, 0, 1920, 1160), QRect(521, 279, 762, 585)},
        // The session window (1180 x 660) on 1366 x 768 with a 40-pixel panel: it used to open
        // 125 pixels past the right edge.
        {"session window, 1366 x 768", QSize(1182, 685), QRect(600, 0, 604, 728), QRect(0, 0, 1366, 728),
         QRect(184, 21, 1182, 685)},
        {"larger than the screen", QSize(1182, 685), QRect(196, 0, 604, 560), QRect(0, 0, 800, 560), QRect(0, 0, 800, 560)},
        {"owner on the right screen", QSize(762, 585), QRect(2000, 100, 604, 600), QRect(1366, 0, 1366, 728),
         QRect(1921, 107, 762, 585)},
        {"owner at the screen's edge", QSize(762, 585), QRect(1300, 600, 604, 600), QRect(1366, 0, 1366, 728),
         QRect(1366, 143, 762, 585)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toolkit::PlaceNear(c.frame, c.anchor, c.available), c.expected) << c.what;
    }
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
    // Margins the window does not know yet (a title bar the window manager has told before the
    // window was framed): the client area goes inside them, so the frame lands where asked.
    const QMargins told(known.left(), known.top() + 20, known.right(), known.bottom());
    toolkit::PlaceWindow(window, place, told);
    EXPECT_EQ(window.geometry(), QRect(place.FramePos + QPoint(told.left(), told.top()), place.Client));
}

} // namespace
