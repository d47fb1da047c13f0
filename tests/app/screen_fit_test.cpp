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

const QPoint kDesignPos(600, 190);
const QSize kDesignClient(602, 738);
const QMargins kNoFrame;
const QMargins kFrame(4, 30, 4, 4);  // borders and a title bar

TEST(FitWindowTest, ADesignThatFitsKeepsItsPlaceAndSizeExactly) {
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(0, 0, 1920, 1200), kNoFrame),
              (WindowPlace{kDesignPos, kDesignClient}));
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(0, 0, 1920, 1200), kFrame),
              (WindowPlace{kDesignPos, kDesignClient}));
    // Exactly to the last pixel of the area.
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(0, 0, 1202, 928), kNoFrame),
              (WindowPlace{kDesignPos, kDesignClient}));
}

TEST(FitWindowTest, AScreenLowerThanTheDesignMovesItUpBeforeMakingItSmaller) {
    // 1366 x 768 and 1280 x 800: the window fits once moved up.
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(0, 0, 1366, 768), kNoFrame),
              (WindowPlace{{600, 30}, kDesignClient}));
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(0, 0, 1280, 800), kNoFrame),
              (WindowPlace{{600, 62}, kDesignClient}));
    // With a title bar and a 40-pixel panel below, the frame has to fit as well.
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(0, 0, 1280, 760), kFrame),
              (WindowPlace{{600, 0}, {602, 726}}));
}

TEST(FitWindowTest, AScreenTooLowForTheWindowMakesItOnlyAsMuchLowerAsNeeded) {
    // 1920 x 1080 at 150 %: 1280 x 720 in the window's own pixels.
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(0, 0, 1280, 720), kNoFrame),
              (WindowPlace{{600, 0}, {602, 720}}));
    // A panel at the top: the area starts below it.
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(0, 32, 1280, 688), kFrame),
              (WindowPlace{{600, 32}, {602, 688 - 34}}));
}

TEST(FitWindowTest, AScreenNarrowerThanTheDesignMovesItLeftAndOnlyThenNarrowsIt) {
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(0, 0, 1024, 768), kNoFrame),
              (WindowPlace{{422, 30}, kDesignClient}));
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(0, 0, 533, 400), kFrame),
              (WindowPlace{{0, 0}, {525, 366}}));
}

TEST(FitWindowTest, TheAreaOfASecondScreenIsWhereTheWindowGoes) {
    // A screen left of the primary one, with negative coordinates.
    EXPECT_EQ(FitWindow(kDesignPos, kDesignClient, QRect(-1366, 0, 1366, 768), kNoFrame),
              (WindowPlace{{-602, 30}, kDesignClient}));
}

TEST(FitWindowTest, ATinyAreaStillLeavesAClientArea) {
    const WindowPlace place = FitWindow(kDesignPos, kDesignClient, QRect(0, 0, 20, 20), kFrame);
    EXPECT_EQ(place.FramePos, QPoint(0, 0));
    EXPECT_GE(place.Client.width(), 1);
    EXPECT_GE(place.Client.height(), 1);
}

TEST(KeepInsideTest, AFrameInsideStaysAsItIs) {
    const QRect area(0, 0, 1366, 768);
    EXPECT_EQ(KeepInside(QRect(100, 100, 760, 560), area), QRect(100, 100, 760, 560));
    EXPECT_EQ(KeepInside(area, area), area);
    EXPECT_EQ(KeepInside(QRect(100, 100, 760, 560), QRect()), QRect(100, 100, 760, 560)) << "no area: nothing to do";
}

TEST(KeepInsideTest, AFramePartlyOffComesBackByAsLittleAsNeeded) {
    const QRect area(0, 0, 1366, 768);
    EXPECT_EQ(KeepInside(QRect(1000, 100, 760, 560), area), QRect(606, 100, 760, 560)) << "off the right";
    EXPECT_EQ(KeepInside(QRect(100, 500, 760, 560), area), QRect(100, 208, 760, 560)) << "off the bottom";
    EXPECT_EQ(KeepInside(QRect(-50, -20, 760, 560), area), QRect(0, 0, 760, 560)) << "off the top left";
}

TEST(KeepInsideTest, AFrameOnAScreenThatIsGoneComesToTheNearestCorner) {
    const QRect area(0, 0, 1366, 768);
    EXPECT_EQ(KeepInside(QRect(2500, 300, 760, 560), area), QRect(606, 208, 760, 560));
    EXPECT_EQ(KeepInside(QRect(-1800, -900, 760, 560), area), QRect(0, 0, 760, 560));
}

TEST(KeepInsideTest, AFrameLargerThanTheAreaIsMadeSmallerToFit) {
    const QRect area(0, 40, 1280, 680);
    EXPECT_EQ(KeepInside(QRect(300, 200, 1600, 1000), area), QRect(0, 40, 1280, 680));
    EXPECT_EQ(KeepInside(QRect(300, 100, 700, 1000), area), QRect(300, 40, 700, 680));
}

// A real window on the test platform's screen.
class KeepOnScreenTest : public ::testing::Test {
protected:
    QWidget window;
    QRect area;

    void SetUp() override {
        area = QGuiApplication::primaryScreen()->availableGeometry();
        window.resize(300, 200);
    }
};

TEST_F(KeepOnScreenTest, AWindowInsideIsLeftAlone) {
    window.move(area.topLeft() + QPoint(50, 60));
    toolkit::KeepOnScreen(window);
    EXPECT_EQ(window.pos(), area.topLeft() + QPoint(50, 60));
    EXPECT_EQ(window.size(), QSize(300, 200));
}

TEST_F(KeepOnScreenTest, AWindowOnAScreenThatIsGoneComesBackInside) {
    window.move(area.right() + 2000, area.bottom() + 500);
    toolkit::KeepOnScreen(window);
    EXPECT_TRUE(area.contains(window.frameGeometry())) << "at " << window.x() << "," << window.y();
    EXPECT_EQ(window.size(), QSize(300, 200));
}

TEST_F(KeepOnScreenTest, AWindowPartlyOffComesBackInside) {
    window.move(area.left() - 100, area.top() + 10);
    toolkit::KeepOnScreen(window);
    EXPECT_EQ(window.pos(), area.topLeft() + QPoint(0, 10));
}

TEST_F(KeepOnScreenTest, AWindowLargerThanTheScreenIsMadeToFit) {
    window.setGeometry(QRect(area.topLeft() + QPoint(10, 10), area.size() + QSize(200, 200)));
    toolkit::KeepOnScreen(window);
    EXPECT_TRUE(area.contains(window.frameGeometry()));
    EXPECT_EQ(window.frameGeometry().size(), area.size());
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

TEST_F(KeepOnScreenTest, ScreenForAFrameOnNoScreenIsThePrimaryOne) {
    EXPECT_EQ(toolkit::ScreenFor(QRect(-50000, -50000, 10, 10)), QGuiApplication::primaryScreen());
    EXPECT_EQ(toolkit::ScreenFor(area.adjusted(10, 10, -10, -10)), QGuiApplication::primaryScreen());
}

} // namespace
