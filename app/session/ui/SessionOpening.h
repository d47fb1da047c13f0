#pragma once
// How a recorded session gets opened: the window command "Open session..." (Ctrl+O), a .csv
// file dropped on the capture window or the plot window, and the command line. Each session
// opens in a window of its own; several may be open at once. A file that is not a session says
// why and opens nothing. The file is looked at on a thread of its own: a FIFO or a device is
// refused by its kind, and a file system that does not answer holds up only that thread.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "toolkit/qt/BackgroundJobs.h"

class QAction;
class QMimeData;
class TForm1;

namespace session::ui {

class SessionWindow;

class SessionOpener : public QObject {
public:
    static constexpr const char* kCommandText = "Open session...";

    // Adds the command to the capture window and takes .csv files dropped on it. Must go before
    // the window does; the session windows it opens are the window's.
    explicit SessionOpener(TForm1& form);
    ~SessionOpener() override;

    // Takes .csv files dropped on another window too (the plot), and gives it the shortcut.
    void AcceptDropsOn(QWidget& window);

    // Starts opening the session at path. Once the file has been looked at, the session opens
    // in a new window, shown, or the user is told why not; either way OnOpeningEnded is told.
    void Open(const std::filesystem::path& path);
    // Told on the window's thread when an opening has ended: its window, or nullptr once the
    // reason has been shown. May be empty.
    std::function<void(const std::filesystem::path& path, SessionWindow* window)> OnOpeningEnded;
    // Openings started whose file is still being looked at.
    size_t OpeningsUnderWay() const { return FOpenings.Running(); }

    // The windows opened and still open, oldest first.
    std::vector<SessionWindow*> Windows() const;
    QAction* Command() const { return FCommand; }

    // Asks which file to open, as a file dialog answers; empty cancels. Empty function: the file dialog.
    std::function<QString()> AskOpenPath;
    // The folder the file dialog starts in (the captures folder). Empty function: the toolkit's choice.
    std::function<QString()> StartFolder;
    // Called with each session window opened, before it is shown.
    std::function<void(SessionWindow& window)> OnOpened;
    // Tells the user why a file did not open. Empty function: a message box that does not hold
    // up the window.
    std::function<void(const QString& message)> ShowError;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AskAndOpen();
    void Watch(QWidget& window);
    void Opened(const std::filesystem::path& path, const std::string& problem);
    void Tell(const QString& message);

    TForm1& FForm;
    QAction* FCommand = nullptr;
    std::vector<QPointer<QWidget>> FWatched;
    std::vector<QPointer<SessionWindow>> FWindows;
    toolkit::BackgroundJobs FOpenings{*this};  // last: goes first
};

// The local .csv files among dropped data, in the order given, named as the system names them.
std::vector<std::filesystem::path> DroppedSessionFiles(const QMimeData* mime);

} // namespace session::ui
