#include "SessionRecording.h"

#include <QDesktopServices>
#include <QDir>
#include <QMetaObject>
#include <QPointer>
#include <QStandardPaths>
#include <QUrl>

#include "app/MainForm.h"
#include "toolkit/ErrorReport.h"
#include "toolkit/SysUtils.h"

namespace {
recording::WriterLimits LimitsFrom(QSettings& settings, std::chrono::milliseconds flushInterval) {
    recording::WriterLimits limits;
    limits.flushInterval = flushInterval;
    bool ok = false;
    const qulonglong cap = settings.value(SessionRecording::kSizeCapKey).toULongLong(&ok);
    if (ok && cap > 0) limits.folderSizeCap = cap;
    return limits;
}

std::unique_ptr<QSettings> OpenSettings(const QString& file) {
    return file.isEmpty() ? std::make_unique<QSettings>() : std::make_unique<QSettings>(file, QSettings::IniFormat);
}
} // namespace

SessionRecording::SessionRecording(TForm1& form) : SessionRecording(form, Options{}) {}

SessionRecording::SessionRecording(TForm1& form, Options options)
    : FForm(form), FSettings(OpenSettings(options.settingsFile)) {
    // Reports may come from the writer thread: they reach the central report on this thread.
    QPointer<SessionRecording> self(this);
    FRecorder = std::make_unique<recording::SessionRecorder>(
        LimitsFrom(*FSettings, options.flushInterval),
        [self](const std::string& message) {
            QMetaObject::invokeMethod(
                self.data(), [self, message] { if (self) self->Report(message); }, Qt::QueuedConnection);
        },
        std::move(options.opener));
    FForm.Rx.AddObserver(FRecorder.get());
    FForm.AddCaptureListener([self](bool capturing) {
        if (self) self->CaptureChanged(capturing);
    });

    FRecordAction = FForm.AddCommand(QStringLiteral("Record sessions"), QKeySequence(Qt::CTRL | Qt::Key_R),
                                     [this] { SetRecordSessions(FRecordAction->isChecked()); });
    FRecordAction->setCheckable(true);
    FRecordAction->setChecked(FSettings->value(kRecordSessionsKey, true).toBool());
    FOpenFolderAction = FForm.AddCommand(QStringLiteral("Open captures folder"), QKeySequence(), [this] { OpenCapturesFolder(); });
}

SessionRecording::~SessionRecording() {
    delete FRecordAction;
    delete FOpenFolderAction;
    FForm.Rx.RemoveObserver(FRecorder.get());
    FRecorder.reset();  // the writer finishes the file and its thread ends
}

QString SessionRecording::CapturesFolder() {
    const QString fromEnvironment = qEnvironmentVariable("TORVANE_CAPTURE_DIR");
    if (!fromEnvironment.isEmpty()) return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/captures");
}

void SessionRecording::SetRecordSessions(bool on) {
    if (FRecordAction->isChecked() != on) FRecordAction->setChecked(on);
    FSettings->setValue(kRecordSessionsKey, on);
    // Turned on while capturing, the rest of the capture is a session of its own.
    if (on) BeginIfCapturing();
    else FRecorder->EndSession();
}

void SessionRecording::CaptureChanged(bool capturing) {
    FCapturing = capturing;
    if (capturing) BeginIfCapturing();
    else FRecorder->EndSession();
}

void SessionRecording::BeginIfCapturing() {
    if (!FCapturing || !RecordSessions() || FRecorder->Recording()) return;
    FRecorder->BeginSession(std::filesystem::path(CapturesFolder().toStdU16String()));
}

void SessionRecording::OpenCapturesFolder() {
    const QString folder = CapturesFolder();
    if (!QDir().mkpath(folder) || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
        throw toolkit::Exception("Could not open the captures folder \"" + folder.toStdString() + "\".");
    }
}

void SessionRecording::Report(const std::string& message) {
    toolkit::RunReportingErrors(nullptr, [&message] { throw toolkit::Exception(message); });
}
