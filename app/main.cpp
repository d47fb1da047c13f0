// torvane-capture: finds the receiver unit on a serial port and shows its status records.
#include <QApplication>
#include <QFile>

#include "app/CommandLine.h"
#include "app/CommandLineOutput.h"
#include "app/DemoHooks.h"
#include "app/MainForm.h"
#include "app/plot/ThrottlePlot.h"
#include "app/recording/qt/SessionRecording.h"
#include "app/recording/qt/TableExportCommands.h"
#include "app/session/SummaryCommand.h"
#include "app/session/ui/SessionOpening.h"
#include "toolkit/qt/ErrorReportBox.h"
#include "toolkit/qt/SyncAdapter.h"

int main(int argc, char** argv) {
    const CommandLine commandLine = ParseCommandLine(ProcessArguments(argc, argv), QStringLiteral(TORVANE_VERSION));
    if (commandLine.action == CommandLine::Action::Summary) {  // no window, no display
#ifdef _WIN32
        return session::RunSummaryCommand(commandLine.summaryFile.toStdWString(), stdout, stderr);
#else
        return session::RunSummaryCommand(QFile::encodeName(commandLine.summaryFile).toStdString(), stdout, stderr);
#endif
    }
    if (commandLine.action != CommandLine::Action::Run) {
        WriteCommandLineText(commandLine.text, commandLine.action == CommandLine::Action::Fail);
        return commandLine.ExitCode();
    }
    TForm1::Options options;
    ApplyCommandLine(commandLine, options);

    QApplication app(argc, argv);
    // The application's title; with the organisation it also names the settings file and the data
    // folder (~/.config/torvane/, ~/.local/share/torvane/ on Linux).
    QApplication::setApplicationName(QStringLiteral("Torvane Throttle Setup"));
    QApplication::setOrganizationName(QStringLiteral("torvane"));
    QApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("torvane-capture"));
    toolkit::InstallMessageBoxErrorReport();
    toolkit::InstallQtSyncAdapter();
    TForm1 form(options);
    SessionRecording::Options recordingOptions;
    recordingOptions.captureDir = CaptureFolder(commandLine);
    SessionRecording recording(form, recordingOptions);  // goes before the window it listens to
    InstallTableExportCommands(form);
    form.show();
    plot::ThrottlePlot throttlePlot(form);
    session::ui::SessionOpener sessions(form);
    sessions.AcceptDropsOn(throttlePlot.Window());
    for (const QString& file : commandLine.openFiles) sessions.Open(file);
    InstallDemoHooks(form, throttlePlot);
    return QApplication::exec();
}
