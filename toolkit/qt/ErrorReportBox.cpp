#include "ErrorReportBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QThread>

#include <cstdio>

#include "toolkit/ErrorReport.h"

namespace toolkit {

namespace {
void ReportEntry(const ErrorReportEntry& entry);
}

void InstallMessageBoxErrorReport() {
    SetErrorReportSink([](const ErrorReportEntry& entry) { ReportEntry(entry); });
}

namespace {
void ReportEntry(const ErrorReportEntry& entry) {
    {
        QCoreApplication* app = QCoreApplication::instance();
        if (app != nullptr && QThread::currentThread() != app->thread()) {
            // Boxes belong to the main thread; hand the report over and return at once.
            QMetaObject::invokeMethod(app, [entry] { ReportEntry(entry); }, Qt::QueuedConnection);
            return;
        }
        static bool showing = false;
        if (showing || QApplication::instance() == nullptr) {
            std::fprintf(stderr, "%s: %s\n", entry.ClassName.c_str(), entry.Message.c_str());
            return;
        }
        showing = true;
        // Messages are UTF-8 on every system (Windows' own texts and paths are converted to it);
        // the ANSI code page would garble any name outside it.
        QString text = QString::fromUtf8(entry.Message.c_str());
        if (!text.endsWith(QLatin1Char('.'))) text += QLatin1Char('.');
        QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), text);
        showing = false;
    }
}
} // namespace

} // namespace toolkit
