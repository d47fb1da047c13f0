// torvane-capture: finds the receiver unit on a serial port and shows its status records.
#include <QApplication>

#include "app/DemoHooks.h"
#include "app/MainForm.h"
#include "toolkit/qt/ErrorReportBox.h"
#include "toolkit/qt/SyncAdapter.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // These name the settings file and the data folder (~/.config/torvane/torvane-capture.conf,
    // ~/.local/share/torvane/torvane-capture on Linux); the window's caption is its own.
    QApplication::setOrganizationName(QStringLiteral("torvane"));
    QApplication::setApplicationName(QStringLiteral("torvane-capture"));
    QGuiApplication::setDesktopFileName(QStringLiteral("torvane-capture"));
    toolkit::InstallMessageBoxErrorReport();
    toolkit::InstallQtSyncAdapter();
    TForm1 form;
    form.show();
    InstallDemoHooks(form);
    return QApplication::exec();
}
