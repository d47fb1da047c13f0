#pragma once
// The program's command line: read before the window exists, so --help, --version and a
// mistyped option answer in a terminal without a display.
#include <QString>
#include <QStringList>

#include <filesystem>
#include <string>
#include <vector>

#include "app/MainForm.h"

struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail, Summary, ExportWorkbook, Check };
    Action action = Action::Run;
    QString text;        // the help, the version line or what was wrong, to print as it stands
    // Names as the user gave them (bytes on Linux, UTF-16 on Windows), files and folders made
    // absolute from the folder the program was started in.
    std::vector<std::string> ports;                // --port, in the order given, as port names
    std::filesystem::path captureDir;              // --capture-dir
    std::vector<std::filesystem::path> openFiles;  // --open: session files, each in its own window
    std::filesystem::path summaryFile;             // --summary: print its per-car summary and exit, no window
    std::filesystem::path exportFile, workbookFile; // --export-xlsx SESSION OUT: write the workbook and exit, no window
    std::filesystem::path checkFile;               // --check: print its cars' throttle check and exit, no window
    int checkCar = -1;                             // --car: only this car (0 to 255), -1 for all

    // What the process does with this command line: 0 to run the window, else its exit code
    // after text has been printed (2 for a command line that could not be read).
    int ExitCode() const;
};

// The process's arguments, the program's path first, as the system gave them, in the lossless
// text of toolkit/qt/FileName.h: UTF-16 on Windows (never through the ANSI code page), the bytes
// as they are on Linux (whatever the locale).
QStringList ProcessArguments(int argc, char** argv);

// `arguments` as the process got them, the program's path first.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& version);

// Hands the ports to the window: they join the scan's list.
void ApplyCommandLine(const CommandLine& commandLine, TForm1::Options& options);

// The folder --capture-dir names, absolute; empty when none was given. The session recorder
// takes it as its option.
std::filesystem::path CaptureFolder(const CommandLine& commandLine);
