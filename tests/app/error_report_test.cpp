// The central error report as the window installs it: a message box, one at a time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "toolkit/ErrorReport.h"
#include "toolkit/SysUtils.h"
#include "toolkit/qt/ErrorReportBox.h"

namespace {

int OpenMessageBoxes() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(w) != nullptr && w->isVisible()) ++n;
    }
    return n;
}

TEST(ErrorReportBox, AReportWhileABoxIsShowingDoesNotStackAnother) {
    auto previous = toolkit::SetErrorReportSink({});
    toolkit::InstallMessageBoxErrorReport();
    int seenWhileOpen = -1;
    // While the first box runs its own loop, a repeating timer reports the same error again
    // (as the setup-command tick would every 20 ms), then the box is dismissed.
    QTimer repeat;
    int repeats = 0;
    QObject::connect(&repeat, &QTimer::timeout, [&] {
        if (++repeats <= 5) {
            toolkit::RunReportingErrors(nullptr, [] { throw toolkit::Exception("Write error (5), Input/output error"); });
            return;
        }
        seenWhileOpen = OpenMessageBoxes();
        repeat.stop();
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
    });
    repeat.start(5);
    toolkit::RunReportingErrors(nullptr, [] { throw toolkit::Exception("Write error (5), Input/output error"); });
    EXPECT_EQ(repeats, 6);
    EXPECT_EQ(seenWhileOpen, 1);
    EXPECT_EQ(OpenMessageBoxes(), 0);
    toolkit::SetErrorReportSink(previous);
}

} // namespace
