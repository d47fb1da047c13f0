#include "app/WindowSystemStart.h"

#include <QString>
#include <QtGlobal>

#include <cstdlib>
#include <utility>
#include <vector>

#include "app/ProcessBoundary.h"
#include "toolkit/qt/FileName.h"

namespace {

QtMessageHandler gPrevious = nullptr;
// The platform plugin's own words, the reason itself ("could not connect to display :987"); the
// fatal message after them only says that no plugin could start.
QString gFirstWarning;
// Everything else said meanwhile, told once the window system is up (and not at all if it fails).
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
std::vector<HeldMessage> gHeld;

void OnStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        const bool fromPlatform = context.category != nullptr && qstrncmp(context.category, "qt.qpa", 6) == 0;
        if (gFirstWarning.isEmpty() && fromPlatform && type != QtDebugMsg && type != QtInfoMsg) gFirstWarning = message;
        if (!fromPlatform) gHeld.push_back({type, QByteArray(context.category), message});
        return;
    }
    const QString reason = (gFirstWarning.isEmpty() ? message : gFirstWarning).section(QLatin1Char('\n'), 0, 0).trimmed();
    WriteCommandLineAnswer({}, toolkit::BytesFromText(QStringLiteral("torvane-capture: the window system could not be started: ") +
                                                      reason + QLatin1Char('\n')));
    std::_Exit(2);
}

} // namespace

void ExitWithReasonIfWindowSystemFails() { gPrevious = qInstallMessageHandler(OnStartupMessage); }

void WindowSystemStarted() {
    qInstallMessageHandler(gPrevious);
    gFirstWarning.clear();
    for (const HeldMessage& held : std::exchange(gHeld, {})) {
        const QMessageLogContext context(nullptr, 0, nullptr, held.category.constData());
        qt_message_output(held.type, context, held.text);
    }
}
