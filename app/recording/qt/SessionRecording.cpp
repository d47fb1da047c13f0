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
#include "toolkit/qt/FileName.h"

namespace {
// The cap as the settings give it; a cap that is no number of bytes, or too small to hold a
// session, is not taken: the default is, and the notice says so.
recording::WriterLimits LimitsFrom(QSettings& settings, const SessionRecording::Options& options, QString& complaint) {
    recording::WriterLimits limits;
    limits.flushInterval = options.flushInterval;
    limits.maxQueuedRecords = options.maxQueuedRecords;
    const QVariant value = settings.value(SessionRecording::kSizeCapKey);
    if (!value.isValid()) return limits;
    bool ok = false;
    const qulonglong cap = value.toString().trimmed().toULongLong(&ok);
    if (ok && cap >= recording::kSmallestFolderSizeCap) {
        limits.folderSizeCap = cap;
        return limits;
    }
    const QString given = value.toString();
    complaint = QStringLiteral("The captures folder's size cap %1=%2 in \"%3\" is not taken: %4. The default, %5 bytes, "
                               "is used; nothing was deleted.")
                    .arg(QString::fromLatin1(SessionRecording::kSizeCapKey), given,
                         QDir::toNativeSeparators(settings.fileName()),
                         ok ? QStringLiteral("a cap below %1 bytes (64 MiB) could not hold a session of some minutes")
                                  .arg(recording::kSmallestFolderSizeCap)
                            : QStringLiteral("it is not a number of bytes"))
                    .arg(limits.folderSizeCap);
    return limits;
}

std::unique_ptr<QSettings> OpenSettings(const QString& file) {
    return file.isEmpty() ? std::make_unique<QSettings>() : std::make_unique<QSettings>(file, QSettings::IniFormat);
}
} // namespace

SessionRecording::SessionRecording(TForm1& form) : SessionRecording(form, Options{}) {}

SessionRecording::SessionRecording(TForm1& form, Options options)
    : FForm(form), FCaptureDir(options.captureDir), FNotice(form), FSettings(OpenSettings(options.settingsFile)) {
    // Reports may come from the writer thread: they reach the notice on this thread.
    QPointer<SessionRecording> self(this);
    QString complaint;
    FRecorder = std::make_unique<recording::SessionRecorder>(
        LimitsFrom(*FSettings, options, complaint),
        [self](const recording::Report& report) {
            const QString text = QString::fromUtf8(report.message.data(), static_cast<qsizetype>(report.message.size()));
            QMetaObject::invokeMethod(
                self.data(), [self, session = report.session, text] { if (self) self->Report(session, text); },
                Qt::QueuedConnection);
        },
        std::move(options.opener));
    // Told once the window is up, not before it.
    if (!complaint.isEmpty()) {
        QMetaObject::invokeMethod(this, [this, complaint] { Report(0, complaint); }, Qt::QueuedConnection);
    }
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

std::filesystem::path SessionRecording::CapturesFolderPath() const {
    if (!FCaptureDir.empty()) return FCaptureDir;
    std::filesystem::path fromEnvironment = toolkit::PathFromEnvironment("TORVANE_CAPTURE_DIR");
    if (!fromEnvironment.empty()) return fromEnvironment.make_preferred();
    return toolkit::PathFromText(QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                                                          QStringLiteral("/captures")));
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
    if (!FCapturing || !RecordSessions() || FRecorder->InSession()) return;
    FRecorder->BeginSession(CapturesFolderPath());
}

void SessionRecording::OpenCapturesFolder() {
    const std::filesystem::path folder = CapturesFolderPath();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec) || !QDesktopServices::openUrl(toolkit::UrlFromPath(folder))) {
        throw toolkit::Exception("Could not open the captures folder \"" + toolkit::DisplayText(folder).toStdString() + "\".");
    }
}

void SessionRecording::Report(uint64_t subject, const QString& message) { FNotice.Show(subject, message); }
