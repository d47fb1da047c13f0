// The program's command line: what it accepts, what it refuses, and that its ports reach the scan.
#include <gtest/gtest.h>

#include <QDir>

#include <cstdlib>

#include "PtyPair.h"
#include "app/CommandLine.h"

namespace {

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
    EXPECT_EQ(c.ports, QStringList({QStringLiteral("/tmp/unit-a"), QStringLiteral("/dev/pts/9")}));
    EXPECT_EQ(c.captureDir, QStringLiteral("/tmp/caps"));

    unsetenv("TORVANE_CAPTURE_DIR");
    TForm1::Options options;
    options.portList.extraPorts = {"kept"};
    ApplyCommandLine(c, options);
    EXPECT_EQ(options.portList.extraPorts, (std::vector<std::string>{"kept", "/tmp/unit-a", "/dev/pts/9"}));
    // The folder is the recorder's option, not a change to the process's environment.
    EXPECT_EQ(CaptureFolder(c), QStringLiteral("/tmp/caps"));
    EXPECT_EQ(std::getenv("TORVANE_CAPTURE_DIR"), nullptr);

    EXPECT_EQ(CaptureFolder(Parse({})), QString()) << "no folder given: the variable or the default stays";
}

TEST(CommandLine, RelativePathsAreTakenFromTheCurrentFolderAndBareNamesStayPortNames) {
    const QString here = QDir::currentPath();
    TForm1::Options options;
    ApplyCommandLine(Parse({QStringLiteral("--port=ttyUSB3"), QStringLiteral("--port=./unit"),
                            QStringLiteral("--capture-dir=caps")}),
                     options);
    EXPECT_EQ(options.portList.extraPorts,
              (std::vector<std::string>{"ttyUSB3", (here + QStringLiteral("/unit")).toStdString()}));
    EXPECT_EQ(CaptureFolder(Parse({QStringLiteral("--capture-dir=caps")})), here + QStringLiteral("/caps"));
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
        {{QStringLiteral("/dev/ttyUSB0")}, "unexpected argument '/dev/ttyUSB0'"},
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

TEST(CommandLine, TheToolkitsOwnOptionsAreLeftToItWithTheirValues) {
    const CommandLine c = Parse({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--port"),
                                 QStringLiteral("/tmp/a"), QStringLiteral("-style"), QStringLiteral("fusion"),
                                 QStringLiteral("--geometry"), QStringLiteral("640x480+10+20"), QStringLiteral("-reverse"),
                                 QStringLiteral("-stylesheet=look.qss"), QStringLiteral("-qwindowtitle"),
                                 QStringLiteral("--port"), QStringLiteral("--port=/tmp/b")});
    EXPECT_EQ(c.action, CommandLine::Action::Run) << c.text.toStdString();
    // "--port" after -qwindowtitle is the title, as the toolkit reads it too.
    EXPECT_EQ(c.ports, QStringList({QStringLiteral("/tmp/a"), QStringLiteral("/tmp/b")}));

    EXPECT_EQ(Parse({QStringLiteral("-port"), QStringLiteral("/tmp/c")}).ports, QStringList{QStringLiteral("/tmp/c")})
        << "a word after one dash is one option";
    const CommandLine afterEnd = Parse({QStringLiteral("--"), QStringLiteral("-reverse")});
    EXPECT_EQ(afterEnd.action, CommandLine::Action::Fail) << "after -- nothing is an option";
    EXPECT_TRUE(afterEnd.text.contains(QLatin1String("unexpected argument '-reverse'"))) << afterEnd.text.toStdString();
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
    EXPECT_EQ(form.CName->text().toStdString(), port.SlavePath());
    EXPECT_EQ(port.Receive(1), "N") << "the probe byte went to the port given";
}

} // namespace
