#include "CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include "app/session/SessionSummary.h"

namespace {
const QString kProgram = QStringLiteral("torvane-capture");
}

int CommandLine::ExitCode() const { return action == Action::Fail ? 2 : 0; }

CommandLine ParseCommandLine(const QStringList& arguments, const QString& version) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Finds the receiver unit on a serial port and shows its live status records."));
    // Not the parser's own help option: that one offers --help-all for Qt's options, which are
    // not taken here (the command line is read before Qt starts; Qt's environment variables work).
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Displays this help."));
    parser.addOption(help);
    const QCommandLineOption showVersion = parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Also probe the serial device at <path>, after the machine's ports "
                                                 "and those in TORVANE_EXTRA_PORTS. Give it more than once for "
                                                 "more devices."),
                                  QStringLiteral("path"));
    const QCommandLineOption captureDir(QStringLiteral("capture-dir"),
                                        QStringLiteral("Keep recorded sessions in <dir> (before TORVANE_CAPTURE_DIR)."),
                                        QStringLiteral("dir"));
    const QCommandLineOption open(QStringLiteral("open"),
                                  QStringLiteral("Show the recorded session <file> in a session window beside the "
                                                 "capture window. Give it more than once for more sessions."),
                                  QStringLiteral("file"));
    const QCommandLineOption summary(QStringLiteral("summary"),
                                     QStringLiteral("Print the per-car summary of the session file <file> as CSV on "
                                                    "standard output and exit, without a window (exit code 1 when the "
                                                    "file cannot be read). Its columns are described below."),
                                     QStringLiteral("file"));
    parser.addOption(port);
    parser.addOption(captureDir);
    parser.addOption(open);
    parser.addOption(summary);

    CommandLine result;
    const auto fail = [&](const QString& what) {
        result.action = CommandLine::Action::Fail;
        result.text = kProgram + QStringLiteral(": ") + what + QStringLiteral("\nTry '") + kProgram +
                      QStringLiteral(" --help' for more information.\n");
        return result;
    };
    if (!parser.parse(arguments)) return fail(parser.errorText());
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::ShowHelp;
        // The parser's own usage line names the running executable, which it only knows once the
        // application object exists; this one is read before that.
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: ") + kProgram + QStringLiteral(" [options]"));
        result.text = text + QLatin1Char('\n') +
                      QString::fromStdString(session::SummaryColumnsHelp());
        return result;
    }
    if (parser.isSet(showVersion)) {
        result.action = CommandLine::Action::ShowVersion;
        result.text = kProgram + QLatin1Char(' ') + version + QLatin1Char('\n');
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(QStringLiteral("unexpected argument '") + parser.positionalArguments().constFirst() +
                    QStringLiteral("'."));
    }
    if (parser.isSet(summary)) {
        result.summaryFile = parser.value(summary);
        if (result.summaryFile.isEmpty()) return fail(QStringLiteral("--summary needs a session file."));
        result.action = CommandLine::Action::Summary;
        return result;
    }
    result.ports = parser.values(port);
    for (const QString& p : result.ports) {
        if (p.isEmpty()) return fail(QStringLiteral("--port needs a device path."));
    }
    if (parser.isSet(captureDir)) {
        result.captureDir = parser.value(captureDir);
        if (result.captureDir.isEmpty()) return fail(QStringLiteral("--capture-dir needs a folder."));
    }
    result.openFiles = parser.values(open);
    for (QString& f : result.openFiles) {
        if (f.isEmpty()) return fail(QStringLiteral("--open needs a session file."));
        // Read before anything could change the current folder.
        f = QFileInfo(f).absoluteFilePath();
    }
    return result;
}

namespace {
// A bare name stays a port name ("ttyUSB0" is /dev/ttyUSB0); a path is taken from the folder the
// program was started in, as a user typing it expects.
QString PortFromArgument(const QString& argument) {
    if (!argument.contains(QLatin1Char('/')) || QDir::isAbsolutePath(argument)) return argument;
    return QFileInfo(argument).absoluteFilePath();
}
} // namespace

void ApplyCommandLine(const CommandLine& commandLine, TForm1::Options& options) {
    for (const QString& p : commandLine.ports) {
        options.portList.extraPorts.push_back(QFile::encodeName(PortFromArgument(p)).toStdString());
    }
}

QString CaptureFolder(const CommandLine& commandLine) {
    return commandLine.captureDir.isEmpty() ? QString() : QFileInfo(commandLine.captureDir).absoluteFilePath();
}
