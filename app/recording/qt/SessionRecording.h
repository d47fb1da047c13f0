#pragma once
// Session recording on the window: records every capture (Start until Close, an unplug or the
// window closing) into the captures folder, with the "Record sessions" and "Open captures folder"
// commands. The choice and the folder's size cap live in the application's settings. What goes
// wrong with recording is told in a notice that never blocks the window.
#include <QAction>
#include <QObject>
#include <QSettings>
#include <QString>

#include <filesystem>
#include <memory>

#include "RecordingNotice.h"
#include "app/recording/SessionRecorder.h"

class TForm1;

class SessionRecording : public QObject {
public:
    struct Options {
        QString settingsFile;             // empty: the application's settings
        std::filesystem::path captureDir; // --capture-dir; empty: TORVANE_CAPTURE_DIR or the default
        recording::FileOpener opener;     // empty: the session file itself
        std::chrono::milliseconds flushInterval{500};
        size_t maxQueuedRecords = recording::WriterLimits{}.maxQueuedRecords;
    };

    explicit SessionRecording(TForm1& form);
    SessionRecording(TForm1& form, Options options);
    // Ends the session and writes out what was handed over; must go before the window.
    ~SessionRecording() override;

    // The folder given as an option, else TORVANE_CAPTURE_DIR when set, else "captures" in the
    // application's data folder; the variable is read afresh at every session. Named as given.
    std::filesystem::path CapturesFolderPath() const;

    bool RecordSessions() const { return FRecordAction->isChecked(); }
    void SetRecordSessions(bool on);
    recording::SessionRecorder& Recorder() { return *FRecorder; }
    // What the notice says now; empty while none is showing.
    QString Notice() const { return FNotice.Text(); }
    QMessageBox* NoticeBox() const { return FNotice.Box(); }

    QAction* RecordAction() const { return FRecordAction; }
    QAction* OpenFolderAction() const { return FOpenFolderAction; }

    static constexpr const char* kRecordSessionsKey = "Recording/RecordSessions";
    static constexpr const char* kSizeCapKey = "Recording/FolderSizeCapBytes";

private:
    void CaptureChanged(bool capturing);
    void BeginIfCapturing();
    void OpenCapturesFolder();
    void Report(uint64_t subject, const QString& message);

    TForm1& FForm;
    std::filesystem::path FCaptureDir;
    RecordingNotice FNotice;
    std::unique_ptr<QSettings> FSettings;
    std::unique_ptr<recording::SessionRecorder> FRecorder;
    QAction* FRecordAction = nullptr;
    QAction* FOpenFolderAction = nullptr;
    bool FCapturing = false;
};
