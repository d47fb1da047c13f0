#pragma once
// How a recorded session gets opened: the window command "Open session..." (Ctrl+O), a .csv
// file dropped on the capture window or the plot window, and the command line. Each session
// opens in a window of its own; several may be open at once. A file that is not a session says
// why and opens nothing.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <vector>

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

    // Opens the session at path in a new window, shown; nullptr (and a message) when the file
    // cannot be opened as a session.
    SessionWindow* Open(const std::filesystem::path& path);

    // The windows opened and still open, oldest first.
    std::vector<SessionWindow*> Windows() const;
    QAction* Command() const { return FCommand; }

    // Asks which file to open, as a file dialog answers; empty cancels. Empty function: the file dialog.
    std::function<QString()> AskOpenPath;
    // The folder the file dialog starts in (the captures folder). Empty function: the toolkit's choice.
    std::function<QString()> StartFolder;
    // Called with each session window opened, before it is shown.
    std::function<void(SessionWindow& window)> OnOpened;
    // Tells the user why a file did not open. Empty function: a message box.
    std::function<void(const QString& message)> ShowError;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AskAndOpen();
    void Watch(QWidget& window);

    TForm1& FForm;
    QAction* FCommand = nullptr;
    std::vector<QPointer<QWidget>> FWatched;
    std::vector<QPointer<SessionWindow>> FWindows;
};

// The local .csv files among dropped data, in the order given, named as the system names them.
std::vector<std::filesystem::path> DroppedSessionFiles(const QMimeData* mime);

} // namespace session::ui
