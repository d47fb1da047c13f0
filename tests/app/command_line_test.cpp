// The program's command line: what it accepts, what it refuses, and that its ports reach the scan.
#include <gtest/gtest.h>

#include <QDir>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "FakeSysfs.h"
#include "PtyPair.h"
#include "QtWait.h"
#include "app/CommandLine.h"
#include "app/ProcessBoundary.h"
#include "toolkit/qt/FileName.h"

namespace {

namespace fs = std::filesystem;

CommandLine Parse(QStringList args) {
    args.prepend(QStringLiteral("/usr/bin/torvane-capture"));
    return ParseCommandLine(args, QStringLiteral("9.8.7"));
}

TEST(CommandLine, HelpAndVersionAnswerWithoutRunning) {
    const CommandLine help = Parse({QStringLiteral("--help")});
    EXPECT_EQ(help.action, CommandLine::Action::ShowHelp);
    EXPECT_EQ(help.ExitCode(), 0);
    EXPECT_TRUE(help.text.startsWith(QStringLiteral("Usage: torvane-capture [options]\n"))) << help.text.toStdString();
    for (const char* option : {"--port <path>", "--capture-dir <dir>", "--help", "--version"}) {
        EXPECT_TRUE(help.text.contains(QLatin1String(option))) << option;
    }
    const CommandLine version = Parse({QStringLiteral("--version")});
    EXPECT_EQ(version.action, CommandLine::Action::ShowVersion);
    EXPECT_EQ(version.text, QStringLiteral("torvane-capture 9.8.7\n"));
    EXPECT_EQ(Parse({QStringLiteral("-v")}).action, CommandLine::Action::ShowVersion);
}

TEST(CommandLine, PortsAndCaptureFolderAreKeptInOrder) {
    const CommandLine c = Parse({QStringLiteral("--port"), QStringLiteral("/tmp/unit-a"), QStringLiteral("--capture-dir=/tmp/caps"),
                                 QStringLiteral("--port=/dev/pts/9")});
    EXPECT_EQ(c.action, CommandLine::Action::Run);
    EXPECT_EQ(c.ExitCode(), 0);
    EXPECT_EQ(c.ports, (std::vector<std::string>{"/tmp/unit-a", "/dev/pts/9"}));
    EXPECT_EQ(c.captureDir, fs::path("/tmp/caps"));

    unsetenv("TORVANE_CAPTURE_DIR");
    TForm1::Options options;
    options.portList.extraPorts = {"kept"};
    ApplyCommandLine(c, options);
    EXPECT_EQ(options.portList.extraPorts, (std::vector<std::string>{"kept", "/tmp/unit-a", "/dev/pts/9"}));
    // The folder is the recorder's option, not a change to the process's environment.
    EXPECT_EQ(CaptureFolder(c), fs::path("/tmp/caps"));
    EXPECT_EQ(std::getenv("TORVANE_CAPTURE_DIR"), nullptr);

    EXPECT_EQ(CaptureFolder(Parse({})), fs::path()) << "no folder given: the variable or the default stays";
}

TEST(CommandLine, RelativePathsAreTakenFromTheCurrentFolderAndBareNamesStayPortNames) {
    const QString here = QDir::currentPath();
    TForm1::Options options;
    ApplyCommandLine(Parse({QStringLiteral("--port=ttyUSB3"), QStringLiteral("--port=./unit"),
                            QStringLiteral("--capture-dir=caps")}),
                     options);
    EXPECT_EQ(options.portList.extraPorts,
              (std::vector<std::string>{"ttyUSB3", (here + QStringLiteral("/unit")).toStdString()}));
    EXPECT_EQ(CaptureFolder(Parse({QStringLiteral("--capture-dir=caps")})), fs::current_path() / "caps");
    EXPECT_EQ(CaptureFolder(Parse({QStringLiteral("--capture-dir=./caps/")})), fs::current_path() / "caps" / "");
}

TEST(CommandLine, WhatCannotBeReadExitsWithTwoAndSaysWhat) {
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{QStringLiteral("--bogus")}, "unknown option '--bogus'."},
        {{QStringLiteral("--bogus=1")}, "unknown option '--bogus=1'."},
        {{QStringLiteral("-platfrom"), QStringLiteral("offscreen")}, "unknown option '-platfrom'."},
        {{QStringLiteral("-platform")}, "missing value after '-platform'"},
        {{QStringLiteral("--port")}, "Missing value after '--port'"},
        {{QStringLiteral("--port=")}, "--port needs a device path"},
        {{QStringLiteral("--capture-dir=")}, "--capture-dir needs a folder"},
        // One file alone opens; a second is not guessed at.
        {{QStringLiteral("a.csv"), QStringLiteral("/dev/ttyUSB0")}, "unexpected argument '/dev/ttyUSB0'"},
        {{QStringLiteral("--summary=a.csv"), QStringLiteral("b.csv")}, "unexpected argument 'b.csv'"},
        {{QStringLiteral("--export-xlsx"), QStringLiteral("a.csv")}, "--export-xlsx needs the workbook's file"},
        {{QStringLiteral("--export-xlsx=a.csv"), QStringLiteral("a.xlsx"), QStringLiteral("c")}, "unexpected argument 'c'"},
        {{QStringLiteral("--export-xlsx=a.csv"), QStringLiteral("a.xlsx"), QStringLiteral("--open=b.csv")},
         "--open cannot go with it"},
        // One value taken, one dropped, without a word: refused instead.
        {{QStringLiteral("--summary"), QStringLiteral("a.csv"), QStringLiteral("--summary=b.csv")},
         "--summary given more than once ('a.csv' and 'b.csv'); it takes one."},
        {{QStringLiteral("--capture-dir=a"), QStringLiteral("--capture-dir"), QStringLiteral("b")},
         "--capture-dir given more than once ('a' and 'b')"},
        {{QStringLiteral("--summary=a.csv"), QStringLiteral("--open=b.csv")},
         "--summary prints a summary and opens no window; --open cannot go with it."},
        {{QStringLiteral("--port=/tmp/p"), QStringLiteral("--summary=a.csv")}, "--port cannot go with it"},
        {{QStringLiteral("--summary=")}, "--summary needs a session file"},
    };
    for (const auto& c : cases) {
        const CommandLine parsed = Parse(c.args);
        EXPECT_EQ(parsed.action, CommandLine::Action::Fail) << c.says;
        EXPECT_EQ(parsed.ExitCode(), 2) << c.says;
        EXPECT_TRUE(parsed.text.startsWith(QStringLiteral("torvane-capture: "))) << parsed.text.toStdString();
        EXPECT_TRUE(parsed.text.contains(QLatin1String(c.says))) << parsed.text.toStdString();
        EXPECT_TRUE(parsed.text.contains(QLatin1String("--help"))) << "points to the help";
    }
}

TEST(CommandLine, AFileGivenAloneOpensAsWithOpenAndTheExportTakesTwoFiles) {
    const CommandLine alone = Parse({QStringLiteral("session.csv")});
    EXPECT_EQ(alone.action, CommandLine::Action::Run) << alone.text.toStdString();
    EXPECT_EQ(alone.openFiles, std::vector<fs::path>{fs::current_path() / "session.csv"});
    EXPECT_EQ(alone.openFiles, Parse({QStringLiteral("--open=session.csv")}).openFiles);
    // As a file manager passes it: the toolkit's options aside, still the only argument.
    EXPECT_EQ(Parse({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("/tmp/x y.csv")}).openFiles,
              std::vector<fs::path>{"/tmp/x y.csv"});
    EXPECT_EQ(Parse({QStringLiteral("")}).action, CommandLine::Action::Fail);

    const CommandLine exportXlsx = Parse({QStringLiteral("--export-xlsx"), QStringLiteral("s.csv"), QStringLiteral("out.xlsx")});
    EXPECT_EQ(exportXlsx.action, CommandLine::Action::ExportWorkbook) << exportXlsx.text.toStdString();
    EXPECT_EQ(exportXlsx.exportFile, fs::path("s.csv"));
    EXPECT_EQ(exportXlsx.workbookFile, fs::path("out.xlsx"));
    EXPECT_TRUE(exportXlsx.openFiles.empty()) << "the workbook's name is not a session to open";
}

TEST(CommandLine, TheToolkitsOwnOptionsAreLeftToItWithTheirValues) {
    const CommandLine c = Parse({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--port"),
                                 QStringLiteral("/tmp/a"), QStringLiteral("-style"), QStringLiteral("fusion"),
                                 QStringLiteral("--geometry"), QStringLiteral("640x480+10+20"), QStringLiteral("-reverse"),
                                 QStringLiteral("-stylesheet=look.qss"), QStringLiteral("-qwindowtitle"),
                                 QStringLiteral("--port"), QStringLiteral("--port=/tmp/b")});
    EXPECT_EQ(c.action, CommandLine::Action::Run) << c.text.toStdString();
    // "--port" after -qwindowtitle is the title, as the toolkit reads it too.
    EXPECT_EQ(c.ports, (std::vector<std::string>{"/tmp/a", "/tmp/b"}));

    EXPECT_EQ(Parse({QStringLiteral("-port"), QStringLiteral("/tmp/c")}).ports, std::vector<std::string>{"/tmp/c"})
        << "a word after one dash is one option";
    const CommandLine afterEnd = Parse({QStringLiteral("--"), QStringLiteral("-reverse")});
    EXPECT_EQ(afterEnd.action, CommandLine::Action::Run) << "after -- nothing is an option: a file to open";
    EXPECT_EQ(afterEnd.openFiles, std::vector<fs::path>{fs::current_path() / "-reverse"});
    const CommandLine twoAfterEnd = Parse({QStringLiteral("--"), QStringLiteral("a.csv"), QStringLiteral("-reverse")});
    EXPECT_EQ(twoAfterEnd.action, CommandLine::Action::Fail);
    EXPECT_TRUE(twoAfterEnd.text.contains(QLatin1String("unexpected argument '-reverse'"))) << twoAfterEnd.text.toStdString();
    EXPECT_TRUE(Parse({QStringLiteral("--help")}).text.contains(QLatin1String("-platform offscreen")));
}

TEST(CommandLine, APortGivenIsProbedByTheScan) {
    testsupport::PtyPair port;
    TForm1::Options options;
    options.portList.sysfsRoot = "/nonexistent-sysfs";  // only the port given
    options.portList.extraPortsEnv = nullptr;
    ApplyCommandLine(Parse({QStringLiteral("--port"), QString::fromStdString(port.SlavePath())}), options);
    TForm1 form(options);
    form.Timer1->stop();
    ASSERT_EQ(form.Ports->count(), 1);
    form.Timer1Find(form.Timer1);
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return !form.ProbeOpenPending(); }));
    EXPECT_EQ(form.CName->text().toStdString(), port.SlavePath());
    EXPECT_EQ(port.Receive(1), "N") << "the probe byte went to the port given";
}

TEST(CommandLine, WindowsHelpRequestAndTheSearchsOwnVariableAreInTheHelp) {
    const CommandLine help = Parse({QStringLiteral("/?")});
    EXPECT_EQ(help.action, CommandLine::Action::ShowHelp);
    EXPECT_EQ(help.text, Parse({QStringLiteral("--help")}).text);
    // The port list's variable is this system's; its help names it (the Windows build's does not).
    EXPECT_TRUE(help.text.simplified().contains(MachinePortsHelp())) << help.text.toStdString();
}

// Names as the system gives them, not necessarily UTF-8 (a folder made under a Latin-1 locale).
const std::string kLatin1Folder = "/tmp/Messung-caf\xe9";
const std::string kLatin1File = "/tmp/Sitzung \xe4\xf6.csv";

TEST(CommandLine, NamesThatAreNotUtf8KeepTheirBytes) {
    std::string program = "torvane-capture", port = "/tmp/unit-\xff", dir = kLatin1Folder, file = kLatin1File;
    std::string portOption = "--port", dirOption = "--capture-dir", openOption = "--open";
    char* argv[] = {program.data(), portOption.data(), port.data(), dirOption.data(), dir.data(), openOption.data(), file.data()};
    const CommandLine c = ParseCommandLine(ProcessArguments(7, argv), QStringLiteral("1"));
    ASSERT_EQ(c.action, CommandLine::Action::Run) << c.text.toStdString();
    EXPECT_EQ(c.ports, std::vector<std::string>{port});
    EXPECT_EQ(c.captureDir.native(), kLatin1Folder);
    ASSERT_EQ(c.openFiles.size(), 1u);
    EXPECT_EQ(c.openFiles[0].native(), kLatin1File);

    std::string summaryOption = "--summary";
    char* summaryArgv[] = {program.data(), summaryOption.data(), file.data()};
    EXPECT_EQ(ParseCommandLine(ProcessArguments(3, summaryArgv), QStringLiteral("1")).summaryFile.native(), kLatin1File);

    // An answer naming it gives the same bytes back to the terminal.
    char* aloneArgv[] = {program.data(), file.data()};
    const CommandLine alone = ParseCommandLine(ProcessArguments(2, aloneArgv), QStringLiteral("1"));
    ASSERT_EQ(alone.openFiles.size(), 1u);
    EXPECT_EQ(alone.openFiles[0].native(), kLatin1File);
    char* strayArgv[] = {program.data(), file.data(), file.data()};
    const CommandLine stray = ParseCommandLine(ProcessArguments(3, strayArgv), QStringLiteral("1"));
    EXPECT_NE(toolkit::BytesFromText(stray.text).find("'" + kLatin1File + "'"), std::string::npos);
}

TEST(CommandLine, PortNamesThatAreNotUtf8AreProbedAsListed) {
    // From the variable: a link to the unit's pseudo-terminal under a Latin-1 name.
    testsupport::PtyPair port;
    const fs::path link = fs::temp_directory_path() / ("torvane-unit-\xe9-" + std::to_string(::getpid()));
    fs::remove(link);
    fs::create_symlink(port.SlavePath(), link);
    setenv("TORVANE_TEST_LATIN1_PORTS", link.c_str(), 1);
    {
        TForm1::Options options;
        options.portList.sysfsRoot = "/nonexistent-sysfs";
        options.portList.extraPortsEnv = "TORVANE_TEST_LATIN1_PORTS";
        TForm1 form(options);
        form.Timer1->stop();
        ASSERT_EQ(form.Ports->count(), 1);
        form.Timer1Find(form.Timer1);
        ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return !form.ProbeOpenPending(); }));
        EXPECT_EQ(toolkit::BytesFromText(form.CName->text()), link.native());
        EXPECT_EQ(port.Receive(1), "N") << "the probe byte went to the port named";
    }
    unsetenv("TORVANE_TEST_LATIN1_PORTS");
    fs::remove(link);

    // From the system's list: the name in the box gives the listed bytes back.
    testsupport::FakeSysfs sysfs;
    sysfs.AddPort("ttyUSB\xe9", "ftdi_sio");
    TForm1::Options options;
    options.portList.sysfsRoot = sysfs.Root();
    options.portList.extraPortsEnv = nullptr;
    TForm1 form(options);
    form.Timer1->stop();
    ASSERT_EQ(form.Ports->count(), 1);
    EXPECT_EQ(toolkit::BytesFromText(form.Ports->itemText(0)), "ttyUSB\xe9");
}

} // namespace
