// The capture window on a real X server's screen: it opens inside the screen's available area
// with the table's header and all 31 rows in view, and where the design fits, exactly at its
// design place and size. On a screen too low even for rows at the height of their text, the
// table shows its header and the latest row, scrolled. Saves a picture of the whole screen.
//   screen_fit_check design|inside|scroll <picture.png>
#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <string>

#include "app/MainForm.h"

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const char* what) {
    ++(ok ? passed : failed);
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
}

QString Text(const QRect& r) { return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); }

// Lets the X server and the window settle: every event that is waiting, and the table's frame.
void Settle(TForm1& form) {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
    while (form.Table->FrameDue()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace

int main(int argc, char** argv) {
    const std::string expect = argc == 3 ? argv[1] : "";
    if (expect != "design" && expect != "inside" && expect != "scroll") {
        std::fprintf(stderr, "usage: screen_fit_check design|inside|scroll <picture.png>\n");
        return 2;
    }
    QApplication app(argc, argv);

    TForm1::Options options;
    options.portList.sysfsRoot = "/nonexistent-sysfs";  // no port to probe: only the window matters here
    options.portList.extraPortsEnv = "TORVANE_SCREEN_FIT_PORTS";
    TForm1 form(options);
    form.Timer1->stop();
    for (int row = 1; row <= 31; ++row) {
        form.Table->SetCell(0, row, QString::number(row));
        form.Table->SetCell(1, row, QStringLiteral("12:34:56.%1").arg(row * 7, 3, 10, QLatin1Char('0')));
        form.Table->SetCell(2, row, QStringLiteral("%1 R").arg(row));
        form.Table->SetCell(3, row, QStringLiteral("128"));
        form.Table->SetCell(4, row, QStringLiteral("0"));
        form.Table->SetCell(5, row, row % 5 == 0 ? QStringLiteral("Yes") : QStringLiteral("No"));
    }
    form.Table->SetSelection(1, 31);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fprintf(stderr, "the window was never shown\n");
        return 1;
    }
    // Under a window manager the frame comes some time after the window, and the fit is made
    // again once it is known: wait for the window to be framed and inside (or give up and let
    // the checks below say what is wrong).
    const bool framed = qEnvironmentVariableIsSet("SCREEN_FIT_FRAMED");
    const bool settled = QTest::qWaitFor([&] {
        const QRect frame = form.frameGeometry();
        return (!framed || frame != form.geometry()) && form.screen()->availableGeometry().contains(frame);
    });
    if (!settled) std::printf("the window never came to lie framed inside the screen\n");
    Settle(form);

    QScreen* screen = form.screen();
    const QRect available = screen->availableGeometry();
    const QRect frame = form.frameGeometry();
    const TStringGrid& table = *form.Table;
    const qreal ratio = screen->devicePixelRatio();
    std::printf("screen %s (available %s) at scale %.2f; window frame %s, client %dx%d (%dx%d physical); "
                "table %s, rows %d high, text %d\n",
                qPrintable(Text(screen->geometry())), qPrintable(Text(available)), ratio, qPrintable(Text(frame)),
                form.width(), form.height(), qRound(form.width() * ratio), qRound(form.height() * ratio),
                qPrintable(Text(table.geometry())), table.RowHeight(), QFontMetrics(table.font()).height());
    std::fflush(stdout);

    Check(available.contains(frame), "the window lies inside the screen's available area");
    if (framed) Check(frame != form.geometry(), "the window manager framed the window");
    Check(table.geometry().bottom() < form.height() && table.geometry().right() < form.width(),
          "the table lies inside the window");
    const int textHeight = QFontMetrics(table.font()).height();
    if (expect == "scroll") {
        const int rowsShown = table.height() / (table.RowHeight() + 1) - 1;
        Check(table.RowHeight() == textHeight, "the rows are as low as their text");
        Check(table.TopRow() > 1 && table.TopRow() + rowsShown > 31, "the latest row shows under the header");
    } else {
        Check(table.RowCount() * (table.RowHeight() + 1) <= table.height(), "the header and all 31 rows show");
        Check(table.TopRow() == 1, "nothing is scrolled away");
        Check(table.RowHeight() >= textHeight, "no row is lower than its text");
    }
    Check(!table.isEnabled(), "the table stays display-only");
    Check(form.Start->geometry() == QRect(112, 8, 73, 27) && form.Name->geometry() == QRect(431, 8, 66, 21),
          "the other components keep their design places");
    if (expect == "design") {
        Check(form.pos() == QPoint(600, 190), "the design place");
        Check(form.size() == QSize(602, 738), "the design size");
        Check(table.geometry() == QRect(8, 56, 569, 681) && table.RowHeight() == 20, "the design table");
    }

    if (!screen->grabWindow(0).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "could not save %s\n", argv[2]);
        ++failed;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
