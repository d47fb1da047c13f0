// The window's start-up step against a fake port list.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

#include "FakeSysfs.h"
#include "QtWait.h"
#include "app/MainForm.h"

namespace {

using testsupport::FakeSysfs;

class FormTest : public ::testing::Test {
protected:
    FakeSysfs sysfs;
    std::unique_ptr<TForm1> form;

    void Create() {
        TForm1::Options o;
        o.portList.sysfsRoot = sysfs.Root();
        o.portList.extraPortsEnv = "TORVANE_FORM_TEST_PORTS";
        o.portList.serialByIdRoot = sysfs.ByIdRoot();
        form = std::make_unique<TForm1>(o);
    }
    QStringList Items() const {
        QStringList items;
        for (int i = 0; i < form->Ports->count(); ++i) items << form->Ports->itemText(i);
        return items;
    }
    QStringList Header() const {
        QStringList h;
        for (int c = 0; c < 6; ++c) h << form->Table->Cell(c, 0);
        return h;
    }
};

const QStringList kHeader = {"Car", "Time", "Last LB", "Drive PWM", "Brake PWM", "Lane Change"};

TEST_F(FormTest, DesignValues) {
    Create();
    EXPECT_EQ(form->windowTitle(), "Torvane Data Capture on Channel 25");
    EXPECT_EQ(form->size(), QSize(602, 738));
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(166, 202, 240));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->Table->geometry(), QRect(8, 56, 569, 681));
    EXPECT_EQ(form->Table->ColCount(), 6);
    EXPECT_EQ(form->Table->RowCount(), 32);
    const int widths[] = {72, 197, 72, 72, 72, 72};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(form->Table->ColWidth(c), widths[c]);
    EXPECT_FALSE(form->Table->isEnabled());
    EXPECT_TRUE(form->Ports->isHidden());
    EXPECT_TRUE(form->Ding->isHidden());
    EXPECT_TRUE(form->Filter->isHidden());
    EXPECT_FALSE(form->Filter->isChecked());
    EXPECT_TRUE(form->Length->isHidden());
    EXPECT_FALSE(form->TID->isHidden());
    EXPECT_EQ(form->TID->text(), "0");
    EXPECT_EQ(form->Length->text(), "4.71");
    EXPECT_EQ(form->Name->text(), "Name");
    EXPECT_TRUE(form->CName->isReadOnly());
    EXPECT_EQ(form->CName->geometry(), form->Ports->geometry()) << "CName lies over the hidden port list";
    EXPECT_EQ(form->Start->geometry(), QRect(112, 8, 73, 27));
    EXPECT_EQ(form->Start->Caption(), "Start");
    EXPECT_FALSE(form->Start->isEnabled());
    EXPECT_EQ(form->Timer1->interval(), 20);
    EXPECT_EQ(form->VaComm1->DeviceName(), "COM%d");
}

TEST_F(FormTest, TheWindowIsSizeableDownToTheHeightThatShowsEveryRow) {
    Create();
    form->show();
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    form->resize(900, 1000);
    EXPECT_EQ(form->size(), QSize(900, 1000));
    EXPECT_EQ(form->Table->geometry(), QRect(8, 56, 569, 681)) << "the components stay where the design puts them";
    EXPECT_EQ(form->Table->RowHeight(), 20);
    EXPECT_EQ(form->Start->geometry(), QRect(112, 8, 73, 27));
    EXPECT_EQ(form->Name->geometry(), QRect(431, 8, 66, 21));

    // As small as it goes: every row at the height of its text, none scrolled away.
    form->resize(400, 300);
    const int textHeight = QFontMetrics(form->Table->font()).height();
    EXPECT_EQ(form->width(), 602) << "the columns are never cut";
    EXPECT_EQ(form->Table->RowHeight(), textHeight);
    EXPECT_EQ(form->Table->TopRow(), 1);
    EXPECT_EQ(form->Table->geometry(), QRect(8, 56, 569, 32 * (textHeight + 1)));
    EXPECT_EQ(form->height(), 56 + 32 * (textHeight + 1) + 1);
    EXPECT_EQ(form->Start->geometry(), QRect(112, 8, 73, 27));

    // And back: the rows grow again, no higher than designed.
    form->resize(602, 738);
    EXPECT_EQ(form->Table->geometry(), QRect(8, 56, 569, 681));
    EXPECT_EQ(form->Table->RowHeight(), 20);
}

// The test platform's one screen is 800 x 800: the design's place (600, 190) would put most of
// the window past its right and bottom edges, but the window itself fits. It opens inside the
// screen at its design size, moved only as far as needed.
TEST_F(FormTest, OnAScreenTheDesignPlaceOverrunsTheWindowMovesInsideKeepingItsSize) {
    Create();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_LT(available.bottom(), 190 + 738) << "a screen lower than the design place";
    ASSERT_GE(available.height(), 738 + 40) << "but high enough for the window";
    form->show();
    const QRect frame = form->frameGeometry();
    EXPECT_TRUE(available.contains(frame)) << "inside the screen";
    EXPECT_EQ(frame.right(), available.right()) << "moved left only as far as needed";
    EXPECT_EQ(frame.bottom(), available.bottom()) << "moved up only as far as needed";
    EXPECT_EQ(form->size(), QSize(602, 738));
    EXPECT_EQ(form->Table->geometry(), QRect(8, 56, 569, 681));
    EXPECT_EQ(form->Table->RowHeight(), 20);
}

TEST_F(FormTest, CommandsAreWindowActionsWithWindowWideShortcuts) {
    Create();
    int runs = 0;
    QAction* action = form->AddCommand(QStringLiteral("Try"), QKeySequence(Qt::CTRL | Qt::Key_T), [&runs] { ++runs; });
    EXPECT_EQ(form->contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_TRUE(form->actions().contains(action));
    EXPECT_EQ(action->shortcutContext(), Qt::WindowShortcut);
    action->trigger();
    EXPECT_EQ(runs, 1);
}

TEST_F(FormTest, NoPortsLeavesAnEmptyListAndWritesTheHeader) {
    Create();
    EXPECT_EQ(form->Ports->count(), 0);
    EXPECT_EQ(form->Ports->currentIndex(), -1);
    EXPECT_EQ(Header(), kHeader);
    EXPECT_EQ(form->PortIndex, -1);
    EXPECT_TRUE(form->Timer1->isActive());
}

TEST_F(FormTest, EachRunReadsThePortsAfreshAndResetsTheSearch) {
    sysfs.AddPort("ttyUSB0", "ftdi_sio");
    sysfs.AddPort("ttyS0", "serial8250", 4);
    sysfs.AddPort("ttyACM0", "cdc_acm");
    Create();
    EXPECT_EQ(Items(), QStringList({"ttyACM0", "ttyS0", "ttyUSB0"}));
    EXPECT_EQ(form->Ports->currentIndex(), 2);
    EXPECT_EQ(form->PortNames, Items());

    // A search under way, some records shown, the header scribbled over.
    form->PortIndex = 2;
    form->Rx.DeviceFound = true;
    form->Rx.EscapeState = 1;
    form->Rx.RowCounter = 17;
    form->Rx.LastStatusTime = 12345.5;
    form->Rx.RxLine = "partial";
    form->Table->SetCell(0, 0, "x");
    form->Table->SetCell(3, 5, "kept");
    form->Timer1->stop();
    form->Start->setEnabled(true);

    form->FormCreate(form.get());
    EXPECT_EQ(Items(), QStringList({"ttyACM0", "ttyS0", "ttyUSB0"}));
    sysfs.AddPort("ttyUSB1", "ftdi_sio");
    form->FormCreate(form.get());
    EXPECT_EQ(Items(), QStringList({"ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB1"}));
    EXPECT_EQ(form->PortIndex, -1);
    EXPECT_FALSE(form->Rx.DeviceFound);
    EXPECT_EQ(form->Rx.EscapeState, 0);
    EXPECT_EQ(form->Rx.RowCounter, 1);
    EXPECT_EQ(form->Rx.LastStatusTime, 12345.5);
    EXPECT_EQ(form->Rx.RxLine, "partial") << "the scan empties the line, not the start-up step";
    EXPECT_EQ(Header(), kHeader);
    EXPECT_EQ(form->Table->Cell(3, 5), "kept");
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_FALSE(form->Start->isEnabled());
}

} // namespace

namespace {

TEST_F(FormTest, ThePortBoxTooltipNamesTheAdapterBehindAPort) {
    // A USB adapter that is listed but whose device node has gone: its probe fails at once.
    sysfs.AddPort("ttyTorvaneTest9", "ftdi_sio");
    sysfs.AddByIdLink("usb-Maker_Model_A1-if00-port0", "../../ttyTorvaneTest9");
    Create();
    form->Timer1->stop();
    form->Timer1Find(form->Timer1);
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return !form->ProbeOpenPending(); }));
    EXPECT_EQ(form->CName->toolTip(),
              "Last probe of each port:\nttyTorvaneTest9 (usb-Maker_Model_A1-if00-port0): not found");
}

TEST_F(FormTest, AThreeDigitIdentifierFitsItsBox) {
    Create();
    form->TID->SetValue(255);
    EXPECT_EQ(form->TID->text(), "255");
    const QFontMetrics metrics(form->TID->font());
    const int innerMargins = 2 * 2;  // the edit box's own, on either side of the text
    EXPECT_LE(metrics.horizontalAdvance("255") + innerMargins, form->TID->width()) << "all three digits are visible";
    EXPECT_LE(form->TID->geometry().right(), form->Name->geometry().left()) << "and the box stays clear of Name";
}

} // namespace
