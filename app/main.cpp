// torvane-capture: finds the receiver unit on a serial port and shows its status records.
#include <QApplication>

#include "app/DemoHooks.h"
#include "app/MainForm.h"
#include "toolkit/qt/ErrorReportBox.h"
#include "toolkit/qt/SyncAdapter.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvane Throttle Setup"));
    toolkit::InstallMessageBoxErrorReport();
    toolkit::InstallQtSyncAdapter();
    TForm1 form;
    form.show();
    InstallDemoHooks(form);
    return QApplication::exec();
}
