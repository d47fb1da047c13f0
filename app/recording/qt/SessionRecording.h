#pragma once
// Session recording on the window: records every capture (Start until Close, an unplug or the
// window closing) into the captures folder, with the "Record sessions" and "Open captures folder"
// commands. The choice and the folder's size cap live in the application's settings.
#include <QAction>
#include <QObject>
#include <QSettings>
#include <QString>

#include <filesystem>
#include <memory>

#include "app/recording/SessionRecorder.h"

class TForm1;

class SessionRecording : public QObject {
public:
    struct Options {
        QString settingsFile;             // empty: the application's settings
        recording::FileOpener opener;     // empty: the session file itself
        std::chrono::milliseconds flushInterval{500};
    };

    explicit SessionRecording(TForm1& form);
    SessionRecording(TForm1& form, Options options);
    // Ends the session and writes out what was handed over; must go before the window.
    ~SessionRecording() override;

    // TORVANE_CAPTURE_DIR when set, else "captures" in the application's data folder; read
    // afresh at every session.
    static QString CapturesFolder();

    bool RecordSessions() const { return FRecordAction->isChecked(); }
    void SetRecordSessions(bool on);
    recording::SessionRecorder& Recorder() { return *FRecorder; }

    QAction* RecordAction() const { return FRecordAction; }
    QAction* OpenFolderAction() const { return FOpenFolderAction; }

    static constexpr const char* kRecordSessionsKey = "Recording/RecordSessions";
    static constexpr const char* kSizeCapKey = "Recording/FolderSizeCapBytes";

private:
    void CaptureChanged(bool capturing);
    void BeginIfCapturing();
    void OpenCapturesFolder();
    void Report(const std::string& message);

    TForm1& FForm;
    std::unique_ptr<QSettings> FSettings;
    std::unique_ptr<recording::SessionRecorder> FRecorder;
    QAction* FRecordAction = nullptr;
    QAction* FOpenFolderAction = nullptr;
    bool FCapturing = false;
};
