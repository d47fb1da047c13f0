#include "CommandLine.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include "app/chart/Summary.h"
#include "toolkit/PortList.h"

namespace {
const QString kProgram = QStringLiteral("torvane-capture");

// The window toolkit's own options, which it reads from the same command line (with one dash or
// two). Those taking a value take the next argument; the "=" forms hold it in one.
const char* const kToolkitOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "style", "stylesheet",
    // The X11 window system's, read when the window shows there.
    "display", "geometry", "title", "icon", "name"};
const char* const kToolkitFlags[] = {"reverse", "widgetcount", "testability", "nograb", "dograb"};
const char* const kToolkitOptionsJoined[] = {"style=", "stylesheet=", "qmljsdebugger="};

// The option's name without its dashes, if `argument` is written as an option at all.
QString OptionName(const QString& argument) {
    if (argument.startsWith(QLatin1String("--"))) return argument.mid(2);
    if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) return argument.mid(1);
    return {};
}

// How many arguments from `at` on belong to one of the toolkit's options (0: none, -1: one that
// needs a value, with none after it).
int ToolkitArgumentCount(const QStringList& arguments, qsizetype at) {
    const QString name = OptionName(arguments[at]);
    if (name.isEmpty()) return 0;
    for (const char* flag : kToolkitFlags) {
        if (name == QLatin1String(flag)) return 1;
    }
    for (const char* joined : kToolkitOptionsJoined) {
        if (name.startsWith(QLatin1String(joined))) return 1;
    }
    for (const char* option : kToolkitOptionsWithValue) {
        if (name == QLatin1String(option)) return at + 1 < arguments.size() ? 2 : -1;
    }
    return 0;
}

// The argument an unknown option came from, as typed ("-bogus", "--bogus=1").
QString AsTyped(const QStringList& arguments, const QString& unknownName) {
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--")) break;
        const QString name = OptionName(argument);
        if (!name.isEmpty() && name.section(QLatin1Char('='), 0, 0) == unknownName) return argument;
    }
    return unknownName;
}
} // namespace

int CommandLine::ExitCode() const { return action == Action::Fail ? 2 : 0; }

CommandLine ParseCommandLine(const QStringList& arguments, const QString& version) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Finds the receiver unit on a serial port and shows its live status records."));
    // Not the parser's own help option: its --help-all lists the toolkit's options from the
    // application object, and the command line is read before that exists.
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
    // "-platform" is one option, not the letters p, l, a, t, f, o, r, m.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    CommandLine result;
    const auto fail = [&](const QString& what) {
        result.action = CommandLine::Action::Fail;
        result.text = kProgram + QStringLiteral(": ") + what + QStringLiteral("\nTry '") + kProgram +
                      QStringLiteral(" --help' for more information.\n");
        return result;
    };

    // The toolkit's own options stay on the command line for it and are not this parser's.
    QStringList own;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--")) {
            own += arguments.mid(i);
            break;
        }
        const int toolkit = i == 0 ? 0 : ToolkitArgumentCount(arguments, i);
        if (toolkit < 0) return fail(QStringLiteral("missing value after '") + arguments[i] + QStringLiteral("'."));
        if (toolkit == 0) own << arguments[i];
        i += toolkit > 0 ? toolkit - 1 : 0;
    }
    if (!parser.parse(own)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            return fail(QStringLiteral("unknown option '") + AsTyped(own, parser.unknownOptionNames().constFirst()) +
                        QStringLiteral("'."));
        }
        return fail(parser.errorText());
    }
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::ShowHelp;
        // The parser's own usage line names the running executable, which it only knows once the
        // application object exists; this one is read before that.
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: ") + kProgram + QStringLiteral(" [options]"));
        text += QStringLiteral("\nThe window toolkit's own options are taken as well, for example -platform offscreen,\n"
                               "-style fusion, -geometry WxH+X+Y and -reverse.\n");
        result.text = text + QLatin1Char('\n') + QString::fromStdString(chart::SummaryColumnsHelp());
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

void ApplyCommandLine(const CommandLine& commandLine, TForm1::Options& options) {
    for (const QString& p : commandLine.ports) {
        options.portList.extraPorts.push_back(toolkit::PortNameFromUserText(QFile::encodeName(p).toStdString()));
    }
}

QString CaptureFolder(const CommandLine& commandLine) {
    return commandLine.captureDir.isEmpty() ? QString() : QFileInfo(commandLine.captureDir).absoluteFilePath();
}
