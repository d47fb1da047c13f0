#pragma once
// Tells what happened to session recording without ever holding up the window: a non-modal
// notice over it that every button, key and the window's close keep working beside. A later
// report about the same subject (a session's final count of records not recorded) replaces the
// one before; different subjects are listed together, the latest last.
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <utility>
#include <vector>

class RecordingNotice {
public:
    explicit RecordingNotice(QWidget& window) : FWindow(window) {}
    ~RecordingNotice();
    RecordingNotice(const RecordingNotice&) = delete;
    RecordingNotice& operator=(const RecordingNotice&) = delete;

    // subject: a session's number, or 0 for the settings.
    void Show(uint64_t subject, const QString& text);

    // What the notice says now (empty when it is not showing), and the notice itself.
    QString Text() const;
    QMessageBox* Box() const { return FBox; }

private:
    static constexpr size_t kMostEntries = 5;

    QWidget& FWindow;
    QPointer<QMessageBox> FBox;
    std::vector<std::pair<uint64_t, QString>> FEntries;
};
