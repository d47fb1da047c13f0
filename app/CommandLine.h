#pragma once
// The program's command line: read before the window exists, so --help, --version and a
// mistyped option answer in a terminal without a display.
#include <QString>
#include <QStringList>

#include "app/MainForm.h"

struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail, Summary };
    Action action = Action::Run;
    QString text;        // the help, the version line or what was wrong, to print as it stands
    QStringList ports;   // --port, in the order given
    QString captureDir;  // --capture-dir
    QStringList openFiles;  // --open: session files to show, each in its own window
    QString summaryFile; // --summary: print that session's per-car summary and exit, no window

    // What the process does with this command line: 0 to run the window, else its exit code
    // after text has been printed (2 for a command line that could not be read).
    int ExitCode() const;
};

// The process's arguments, the program's path first, as the system gave them: in UTF-16 on
// Windows (never through the ANSI code page), in the locale's encoding elsewhere.
QStringList ProcessArguments(int argc, char** argv);

// `arguments` as the process got them, the program's path first.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& version);

// Hands the ports to the window: they join the scan's list.
void ApplyCommandLine(const CommandLine& commandLine, TForm1::Options& options);

// The folder --capture-dir names, made absolute from the folder the program was started in;
// empty when none was given. The session recorder takes it as its option.
QString CaptureFolder(const CommandLine& commandLine);
