// The throttle plot beside the capture window, offscreen: its command, what it draws and shows,
// and what it remembers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include "TestSettings.h"
#include "app/MainForm.h"
#include "app/plot/ThrottlePlot.h"

namespace {

using plot::ThrottlePlot;

class PlotWindowTest : public ::testing::Test {
protected:
    QTemporaryDir settingsDir;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ThrottlePlot> plot;

    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        testsupport::UseSettingsIn(settingsDir.path(), QStringLiteral("plot-window-test"));
        Create();
    }
    void TearDown() override { Destroy(); }

    void Create() {
        TForm1::Options o;
        o.portList.sysfsRoot = "/nonexistent-sysfs";
        o.portList.extraPortsEnv = "TORVANE_PLOT_TEST_PORTS";
        form = std::make_unique<TForm1>(o);
        plot = std::make_unique<ThrottlePlot>(*form);
    }
    void Destroy() {
        plot.reset();
        form.reset();
    }

    // A status record as it arrives on the line, through the window's decoder.
    void Receive(uint8_t car, uint8_t lastLb, uint8_t drive, uint8_t brake, uint8_t lane) {
        const std::string line{'S', '\0', static_cast<char>(car), static_cast<char>(lastLb), static_cast<char>(drive),
                               static_cast<char>(brake), static_cast<char>(lane), '\r'};
        size_t next = 0;
        form->Rx.ReceiveBytes(static_cast<int32_t>(line.size()), [&](uint8_t& b) {
            b = static_cast<uint8_t>(line[next++]);
            return true;
        });
    }

    static void PressCtrlG(QWidget& window) {
        window.show();
        QApplication::setActiveWindow(&window);
        QKeyEvent key(QEvent::KeyPress, Qt::Key_G, Qt::ControlModifier);
        QCoreApplication::sendEvent(&window, &key);
    }

    static void Click(QListWidget* list, int row) {
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
        QMouseEvent release(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at), Qt::LeftButton, {}, {});
        QCoreApplication::sendEvent(list->viewport(), &press);
        QCoreApplication::sendEvent(list->viewport(), &release);
    }
};

TEST_F(PlotWindowTest, OpensAndClosesFromTheShortcutInEitherWindow) {
    QAction* command = plot->Command();
    EXPECT_TRUE(form->actions().contains(command)) << "listed in the window's context menu";
    EXPECT_EQ(command->text(), "Throttle plot");
    EXPECT_FALSE(plot->Window().isVisible());

    PressCtrlG(*form);
    ASSERT_TRUE(plot->Window().isVisible());
    EXPECT_EQ(plot->Window().windowTitle(), "Throttle plot");
    EXPECT_TRUE(command->isChecked());
    EXPECT_TRUE(form->isVisible()) << "the capture window stays as it is";
    EXPECT_EQ(form->size(), QSize(602, 738));

    PressCtrlG(plot->Window());
    EXPECT_FALSE(plot->Window().isVisible());
    EXPECT_FALSE(command->isChecked());

    plot->Window().show();  // opened some other way, closed by its title bar
    EXPECT_TRUE(command->isChecked());
    plot->Window().close();
    EXPECT_FALSE(command->isChecked());
}

TEST_F(PlotWindowTest, ShowsACurveAndALegendEntryPerCarSeenWithTheLatestValues) {
    Receive(3, 0x2C, 100, 0, 1);  // before the plot is opened: kept all the same
    Receive(9, 0x6F, 20, 0, 0);
    Receive(3, 0x83, 0, 180, 0);
    plot->Toggle();
    plot->Window().grab();  // paints

    EXPECT_EQ(plot->Window().Canvas->DrawnCars(), (std::vector<uint8_t>{3, 9}));
    ASSERT_EQ(plot->Window().Legend->count(), 2);
    EXPECT_EQ(plot->Window().Legend->item(0)->text(), "Car 3");
    EXPECT_EQ(plot->Window().Legend->item(1)->text(), "Car 9");
    EXPECT_EQ(plot->Window().LatestText(),
              "Car 3: drive 0, brake 180, last LB 3 L*\n"
              "Car 9: drive 20, brake 0, last LB no LB yet");

    Click(plot->Window().Legend, 0);
    plot->Window().grab();
    EXPECT_EQ(plot->Window().Canvas->DrawnCars(), (std::vector<uint8_t>{9})) << "car 3 hidden by its legend entry";
    EXPECT_TRUE(plot->Window().Legend->item(0)->font().strikeOut());
    Click(plot->Window().Legend, 0);
    plot->Window().grab();
    EXPECT_EQ(plot->Window().Canvas->DrawnCars(), (std::vector<uint8_t>{3, 9}));

    Receive(4, 0x00, 255, 0, 1);
    plot->Window().Refresh();
    EXPECT_EQ(plot->Window().Legend->count(), 3);
    EXPECT_NE(plot->Window().LatestText().indexOf("Car 4: drive 255, brake 0, last LB 0, lane change"), -1);
}

TEST_F(PlotWindowTest, PauseFreezesWhatIsShownUntilResumed) {
    Receive(3, 0x2C, 100, 0, 0);
    plot->Toggle();
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::setActiveWindow(&plot->Window());
    QCoreApplication::sendEvent(plot->Window().Canvas, &space);
    ASSERT_TRUE(plot->Model().Paused());
    EXPECT_EQ(plot->Window().PauseButton->text(), "Resume");

    Receive(3, 0x2C, 50, 0, 0);
    Receive(5, 0x2C, 60, 0, 0);
    plot->Window().Refresh();
    EXPECT_EQ(plot->Window().LatestText(), "Car 3: drive 100, brake 0, last LB 12 R");

    plot->Window().PauseButton->click();
    EXPECT_FALSE(plot->Model().Paused());
    EXPECT_EQ(plot->Window().LatestText(), "Car 3: drive 50, brake 0, last LB 12 R\nCar 5: drive 60, brake 0, last LB 12 R");
}

TEST_F(PlotWindowTest, RemembersWhetherItWasOpenWhereAndItsTimeSpan) {
    plot->Toggle();
    plot->Window().setGeometry(40, 50, 700, 500);
    plot->Window().WindowBox->setCurrentIndex(plot->Window().WindowBox->findData(30));
    Destroy();  // the program ends with the plot open

    Create();
    EXPECT_TRUE(plot->Window().isVisible());
    EXPECT_EQ(plot->Window().size(), QSize(700, 500));
    EXPECT_EQ(plot->Model().WindowSeconds(), 30);
    plot->Toggle();
    Destroy();

    Create();
    EXPECT_FALSE(plot->Window().isVisible());
    EXPECT_EQ(plot->Model().WindowSeconds(), 30);
}

// As the program ends: the user closes the capture window, the application then closes every
// window left (the plot too), and the plot goes before the capture window (main's order).
void EndProgram(TForm1& form, QWidget& plotWindow) {
    form.show();
    form.close();
    plotWindow.close();
}

TEST_F(PlotWindowTest, OpenAtTheEndOfTheProgramIsOpenAtTheNextStartWhereItWas) {
    plot->Toggle();
    plot->Window().setGeometry(60, 70, 640, 480);
    EndProgram(*form, plot->Window());
    Destroy();

    Create();
    ASSERT_TRUE(plot->Window().isVisible());
    EXPECT_EQ(plot->Window().geometry(), QRect(60, 70, 640, 480));
    EXPECT_TRUE(plot->Command()->isChecked());

    plot->Window().close();  // closed by the user, then the program ends
    EndProgram(*form, plot->Window());
    Destroy();
    Create();
    EXPECT_FALSE(plot->Window().isVisible());
    plot->Toggle();
    EXPECT_EQ(plot->Window().geometry(), QRect(60, 70, 640, 480)) << "closed, it keeps its place";
}

// A move is saved shortly after the plot comes to rest, so a program that never ends cleanly
// (killed, power cut) still finds it there.
TEST_F(PlotWindowTest, AMoveIsSavedOnceThePlotComesToRest) {
    plot->Toggle();
    QSignalSpy saved(&plot->GeometrySaveTimer(), &QTimer::timeout);
    plot->Window().move(30, 40);
    plot->Window().move(90, 110);  // a drag: one save for both
    plot->Window().resize(500, 400);
    ASSERT_TRUE(plot->GeometrySaveTimer().isActive());
    ASSERT_TRUE(saved.wait(10000));

    QSettings settings;
    EXPECT_TRUE(settings.value(QStringLiteral("plot/open")).toBool());
    EXPECT_EQ(settings.value(QStringLiteral("plot/geometry")).toByteArray(), plot->Window().saveGeometry());
    EXPECT_EQ(saved.count(), 1);
}

} // namespace
