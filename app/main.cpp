// torvane-capture: finds the receiver unit on a serial port and shows its status records.
#include <QApplication>
#include <QSettings>

#include <chrono>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/DemoHooks.h"
#include "app/MainForm.h"
#include "app/ProcessBoundary.h"
#include "app/WindowSystemStart.h"
#include "app/check/offline/CheckCommand.h"
#include "app/check/qt/CheckSettings.h"
#include "app/check/ui/ThrottleCheckCommand.h"
#include "app/plot/ThrottlePlot.h"
#include "app/recording/qt/SessionRecording.h"
#include "app/recording/qt/TableExportCommands.h"
#include "app/session/SummaryCommand.h"
#include "app/session/ui/SessionOpening.h"
#include "app/workbook/WorkbookExport.h"
#include "toolkit/qt/BackgroundJobs.h"
#include "toolkit/qt/ErrorReportBox.h"
#include "toolkit/qt/FileName.h"
#include "toolkit/qt/SyncAdapter.h"

namespace {
// How long the program, its windows gone, lets files still being written be finished; beyond that
// a file system that no longer answers keeps nobody waiting.
constexpr std::chrono::seconds kJobsEndingAtExit{10};

// --summary: no window, no display.
int RunSummary(const std::filesystem::path& file) {
    std::string out, err;
    int status = session::RunSummaryCommand(file, out, err);
    if (!WriteCommandLineAnswer(out, err) && status == 0) {
        WriteCommandLineAnswer({}, "torvane-capture: the summary could not be written to standard output\n");
        status = 1;
    }
    return status;
}

// --export-xlsx: no window, no display; only the reason when it fails.
int RunWorkbookExport(const std::filesystem::path& session, const std::filesystem::path& workbook) {
    std::string err;
    const int status = workbook::RunExportCommand(session, workbook, err);
    WriteCommandLineAnswer({}, err);
    return status;
}

// --check: no window, no display. The thresholds are the settings file's.
int RunCheck(const CommandLine& commandLine) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("torvane"),
                       QStringLiteral("Torvane Throttle Setup"));
    std::vector<std::string> notices;
    check::CheckCommandOptions options;
    options.thresholds = check::ReadCheckThresholds(settings, notices);
    if (commandLine.checkCar >= 0) options.car = commandLine.checkCar;
    std::string out, err;
    for (const std::string& notice : notices) err += "torvane-capture: " + notice + "\n";
    int status = check::RunCheckCommand(commandLine.checkFile, options, out, err);
    if (!WriteCommandLineAnswer(out, err) && status == 0) {
        WriteCommandLineAnswer({}, "torvane-capture: the check could not be written to standard output\n");
        status = 1;
    }
    return status;
}
} // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine = ParseCommandLine(ProcessArguments(argc, argv), QStringLiteral(TORVANE_VERSION));
    if (commandLine.action == CommandLine::Action::Summary) return RunSummary(commandLine.summaryFile);
    if (commandLine.action == CommandLine::Action::ExportWorkbook) {
        return RunWorkbookExport(commandLine.exportFile, commandLine.workbookFile);
    }
    if (commandLine.action == CommandLine::Action::Check) return RunCheck(commandLine);
    if (commandLine.action != CommandLine::Action::Run) {
        const std::string text = toolkit::BytesFromText(commandLine.text);
        const bool isError = commandLine.action == CommandLine::Action::Fail;
        WriteCommandLineAnswer(isError ? std::string() : text, isError ? text : std::string());
        return commandLine.ExitCode();
    }
    TForm1::Options options;
    ApplyCommandLine(commandLine, options);

    ExitWithReasonIfWindowSystemFails();
    QApplication app(argc, argv);
    WindowSystemStarted();
    ReleaseCommandLineOutput();
    // The application's title; with the organisation it also names the settings file and the data
    // folder (~/.config/torvane/, ~/.local/share/torvane/ on Linux).
    QApplication::setApplicationName(QStringLiteral("Torvane Throttle Setup"));
    QApplication::setOrganizationName(QStringLiteral("torvane"));
    QApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("torvane-capture"));
    toolkit::InstallMessageBoxErrorReport();
    toolkit::InstallQtSyncAdapter();
    int status = 0;
    {
        TForm1 form(options);
        SessionRecording::Options recordingOptions;
        recordingOptions.captureDir = CaptureFolder(commandLine);
        SessionRecording recording(form, recordingOptions);  // goes before the window it listens to
        InstallTableExportCommands(form);
        form.show();
        plot::ThrottlePlot throttlePlot(form);
        session::ui::SessionOpener sessions(form);
        check::ui::ThrottleCheckCommand throttleCheck(form, recording.CapturesFolderPath().parent_path() / "checks");
        throttleCheck.AddTo(throttlePlot.Window());
        sessions.OnOpened = [&throttleCheck](session::ui::SessionWindow& window) { throttleCheck.AddTo(window); };
        sessions.AcceptDropsOn(throttlePlot.Window());
        sessions.StartFolder = [&recording] { return toolkit::TextFromPath(recording.CapturesFolderPath()); };
        for (const std::filesystem::path& file : commandLine.openFiles) sessions.Open(file);
        InstallDemoHooks(form, throttlePlot, throttleCheck);
        status = QApplication::exec();
    }
    // The windows have gone and called off what they read. What still runs writes what the user
    // keeps (a check's report, a saved table, an export finishing or clearing its partial file):
    // it is given a while to end before the process does.
    toolkit::BackgroundJobs::WaitForAllToEnd(kJobsEndingAtExit);
    return status;
}
