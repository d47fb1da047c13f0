#include "CommandLine.h"

#include <QCommandLineParser>
#include <QtGlobal>

#include "app/ProcessBoundary.h"
#include "app/chart/Summary.h"
#include "app/check/ThrottleCheck.h"
#include "toolkit/PortList.h"
#include "toolkit/qt/FileName.h"

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

// A file or folder the user named, absolute from the folder the program was started in (read
// before anything could change that).
std::filesystem::path AbsolutePath(const QString& text) {
    std::error_code ec;
    const std::filesystem::path given = toolkit::PathFromText(text);
    const std::filesystem::path absolute = std::filesystem::absolute(given, ec);
    return (ec ? given : absolute).lexically_normal().make_preferred();
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
                                  QStringLiteral("Also probe the serial device at <path>, after %1. Give it more "
                                                 "than once for more devices.")
                                      .arg(MachinePortsHelp()),
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
    const QCommandLineOption exportXlsx(QStringLiteral("export-xlsx"),
                                        QStringLiteral("Write the session <file> as a spreadsheet workbook (sheets "
                                                       "Records, Summary and Charts) to the .xlsx file named after it "
                                                       "and exit, without a window (exit code 1 when it cannot)."),
                                        QStringLiteral("file> <out.xlsx"));
    const QCommandLineOption check(QStringLiteral("check"),
                                   QStringLiteral("Print the throttle check of each car in the session file <file> as "
                                                  "CSV on standard output and exit, without a window (exit code 1 "
                                                  "when the file cannot be read). Its columns are described below."),
                                   QStringLiteral("file"));
    const QCommandLineOption car(QStringLiteral("car"), QStringLiteral("With --check: only car <n> (0 to 255)."),
                                 QStringLiteral("n"));
    parser.addOption(port);
    parser.addOption(check);
    parser.addOption(car);
    parser.addOption(captureDir);
    parser.addOption(open);
    parser.addOption(summary);
    parser.addOption(exportXlsx);
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
        if (i > 0 && arguments[i] == QLatin1String("/?")) {  // where Windows users ask for help
            own << QStringLiteral("--help");
            continue;
        }
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
                               "-style fusion, -geometry WxH+X+Y and -reverse.\n"
                               "A session file given as the only argument opens as with --open.\n");
        result.text = text + QLatin1Char('\n') + QString::fromStdString(chart::SummaryColumnsHelp()) +
                      QLatin1Char('\n') + QString::fromStdString(check::CheckColumnsHelp());
        return result;
    }
    if (parser.isSet(showVersion)) {
        result.action = CommandLine::Action::ShowVersion;
        result.text = kProgram + QLatin1Char(' ') + version + QLatin1Char('\n');
        return result;
    }
    const QStringList positional = parser.positionalArguments();
    // An option that takes one value, given more than once: which one was meant is not ours to guess.
    for (const QCommandLineOption* single : {&summary, &captureDir, &exportXlsx, &check, &car}) {
        const QStringList values = parser.values(*single);
        if (values.size() > 1) {
            return fail(QStringLiteral("--%1 given more than once ('%2' and '%3'); it takes one.")
                            .arg(single->names().constFirst(), values[0], values[1]));
        }
    }
    if (parser.isSet(exportXlsx)) {
        for (const QCommandLineOption* other : {&summary, &open, &port, &captureDir, &check}) {
            if (parser.isSet(*other)) {
                return fail(QStringLiteral("--export-xlsx writes a workbook and opens no window; --%1 cannot go with it.")
                                .arg(other->names().constFirst()));
            }
        }
        if (parser.value(exportXlsx).isEmpty()) return fail(QStringLiteral("--export-xlsx needs a session file."));
        if (positional.isEmpty() || positional.constFirst().isEmpty()) {
            return fail(QStringLiteral("--export-xlsx needs the workbook's file after the session file."));
        }
        if (positional.size() > 1) return fail(QStringLiteral("unexpected argument '") + positional[1] + QStringLiteral("'."));
        result.exportFile = toolkit::PathFromText(parser.value(exportXlsx));
        result.workbookFile = toolkit::PathFromText(positional.constFirst());
        result.action = CommandLine::Action::ExportWorkbook;
        return result;
    }
    // A file manager's "Open with" passes the file alone: it opens as with --open. Anything more
    // is not guessed at.
    if (positional.size() > 1 || (!positional.isEmpty() && parser.isSet(summary))) {
        return fail(QStringLiteral("unexpected argument '") + positional[parser.isSet(summary) ? 0 : 1] +
                    QStringLiteral("'."));
    }
    if (parser.isSet(car) && !parser.isSet(check)) return fail(QStringLiteral("--car goes with --check."));
    if (parser.isSet(check)) {
        if (!positional.isEmpty()) return fail(QStringLiteral("unexpected argument '") + positional[0] + QStringLiteral("'."));
        // The check prints and exits: the window's options would be dropped without a word.
        for (const QCommandLineOption* other : {&summary, &open, &port, &captureDir}) {
            if (parser.isSet(*other)) {
                return fail(QStringLiteral("--check prints the check and opens no window; --%1 cannot go with it.")
                                .arg(other->names().constFirst()));
            }
        }
        if (parser.value(check).isEmpty()) return fail(QStringLiteral("--check needs a session file."));
        result.checkFile = toolkit::PathFromText(parser.value(check));
        if (parser.isSet(car)) {
            bool number = false;
            result.checkCar = parser.value(car).toInt(&number);
            if (!number || result.checkCar < 0 || result.checkCar > 255) {
                return fail(QStringLiteral("--car '") + parser.value(car) + QStringLiteral("' is not a car from 0 to 255."));
            }
        }
        result.action = CommandLine::Action::Check;
        return result;
    }
    if (parser.isSet(summary)) {
        // The summary prints and exits: the window's options would be dropped without a word.
        for (const QCommandLineOption* windowOption : {&open, &port, &captureDir}) {
            if (parser.isSet(*windowOption)) {
                return fail(QStringLiteral("--summary prints a summary and opens no window; --%1 cannot go with it.")
                                .arg(windowOption->names().constFirst()));
            }
        }
        if (parser.value(summary).isEmpty()) return fail(QStringLiteral("--summary needs a session file."));
        result.summaryFile = toolkit::PathFromText(parser.value(summary));
        result.action = CommandLine::Action::Summary;
        return result;
    }
    for (const QString& p : parser.values(port)) {
        if (p.isEmpty()) return fail(QStringLiteral("--port needs a device path."));
        result.ports.push_back(toolkit::PortNameFromUserText(toolkit::BytesFromText(p)));
    }
    if (parser.isSet(captureDir)) {
        if (parser.value(captureDir).isEmpty()) return fail(QStringLiteral("--capture-dir needs a folder."));
        result.captureDir = AbsolutePath(parser.value(captureDir));
    }
    QStringList openFiles = parser.values(open);
    if (!positional.isEmpty()) {
        if (positional.constFirst().isEmpty()) return fail(QStringLiteral("an empty argument is not a session file."));
        openFiles << positional.constFirst();
    }
    for (const QString& f : openFiles) {
        if (f.isEmpty()) return fail(QStringLiteral("--open needs a session file."));
        result.openFiles.push_back(AbsolutePath(f));
    }
    return result;
}

void ApplyCommandLine(const CommandLine& commandLine, TForm1::Options& options) {
    options.portList.extraPorts.insert(options.portList.extraPorts.end(), commandLine.ports.begin(), commandLine.ports.end());
}

std::filesystem::path CaptureFolder(const CommandLine& commandLine) { return commandLine.captureDir; }
