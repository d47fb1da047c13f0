// The throttle plot's window opens inside the screen, wherever it was last.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

#include "TestSettings.h"
#include "app/MainForm.h"
#include "app/plot/ThrottlePlot.h"

namespace {

using plot::ThrottlePlot;

class PlotWindowPlaceTest : public ::testing::Test {
protected:
    QTemporaryDir settingsDir;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ThrottlePlot> plot;
    QRect area;

    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        testsupport::UseSettingsIn(settingsDir.path(), QStringLiteral("plot-window-place-test"));
        area = QGuiApplication::primaryScreen()->availableGeometry();
        TForm1::Options o;
        o.portList.sysfsRoot = "/nonexistent-sysfs";
        o.portList.extraPortsEnv = "TORVANE_PLOT_PLACE_TEST_PORTS";
        form = std::make_unique<TForm1>(o);
        plot = std::make_unique<ThrottlePlot>(*form);
    }
    void TearDown() override {
        plot.reset();
        form.reset();
    }
    void Open() {
        if (!plot->Window().isVisible()) plot->Toggle();
        ASSERT_TRUE(plot->Window().isVisible());
    }
};

TEST_F(PlotWindowPlaceTest, APlaceOffTheScreenComesBackInsideAndOneInsideIsKept) {
    plot->Window().move(area.right() + 3000, area.bottom() + 2000);  // on a screen that is gone
    Open();
    EXPECT_TRUE(area.contains(plot->Window().frameGeometry()));

    plot->Toggle();
    plot->Window().move(area.left() - 200, area.top() + 40);  // partly off
    const QRect partlyOff = plot->Window().frameGeometry();
    Open();
    EXPECT_TRUE(area.contains(plot->Window().frameGeometry()));
    EXPECT_EQ(plot->Window().frameGeometry().top(), partlyOff.top()) << "moved no more than needed";

    plot->Toggle();
    const QPoint inside = area.topLeft() + QPoint(20, 30);
    plot->Window().move(inside);
    Open();
    EXPECT_EQ(plot->Window().pos(), inside);
}

} // namespace
