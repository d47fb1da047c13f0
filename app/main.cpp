// torvane-capture: finds the receiver unit on a serial port and shows its status records.
#include <QApplication>

#include "app/DemoHooks.h"
#include "app/MainForm.h"
#include "toolkit/qt/ErrorReportBox.h"
#include "toolkit/qt/SyncAdapter.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The application's title; with the organisation it also names the settings file and the data
    // folder (~/.config/torvane/, ~/.local/share/torvane/ on Linux).
    QApplication::setApplicationName(QStringLiteral("Torvane Throttle Setup"));
    QApplication::setOrganizationName(QStringLiteral("torvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("torvane-capture"));
    toolkit::InstallMessageBoxErrorReport();
    toolkit::InstallQtSyncAdapter();
    TForm1 form;
    form.show();
    InstallDemoHooks(form);
    return QApplication::exec();
}
