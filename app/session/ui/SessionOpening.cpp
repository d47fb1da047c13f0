#include "app/session/ui/SessionOpening.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include "app/MainForm.h"
#include "app/session/SessionFileCheck.h"
#include "app/session/ui/SessionWindow.h"
#include "toolkit/qt/FileName.h"

namespace session::ui {

std::vector<std::filesystem::path> DroppedSessionFiles(const QMimeData* mime) {
    std::vector<std::filesystem::path> files;
    if (mime == nullptr || !mime->hasUrls()) return files;
    for (const QUrl& url : mime->urls()) {
        std::filesystem::path path = toolkit::PathFromUrl(url);
        if (toolkit::TextFromPath(path.extension()).compare(QStringLiteral(".csv"), Qt::CaseInsensitive) == 0) {
            files.push_back(std::move(path));
        }
    }
    return files;
}

SessionOpener::SessionOpener(TForm1& form) : FForm(form) {
    FCommand = form.AddCommand(QString::fromLatin1(kCommandText), QKeySequence::Open, [this] { AskAndOpen(); });
    Watch(form);
}

SessionOpener::~SessionOpener() {
    for (const QPointer<QWidget>& w : FWatched) {
        if (w) w->removeEventFilter(this);
    }
    delete FCommand;  // its handler refers to this
}

void SessionOpener::AcceptDropsOn(QWidget& window) {
    window.addAction(FCommand);
    Watch(window);
}

void SessionOpener::Watch(QWidget& window) {
    // Drops go to the widget under the pointer: the edit boxes would take a dropped file's name
    // as text. Every widget of the window hands .csv files to this instead; other drops are left
    // as they were.
    window.setAcceptDrops(true);
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.prepend(&window);
    for (QWidget* w : widgets) {
        w->installEventFilter(this);
        FWatched.emplace_back(w);
    }
}

bool SessionOpener::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (DroppedSessionFiles(drag->mimeData()).empty()) break;
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::vector<std::filesystem::path> files = DroppedSessionFiles(drop->mimeData());
        if (files.empty()) break;
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        for (const std::filesystem::path& file : files) Open(file);
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void SessionOpener::AskAndOpen() {
    const QString path = AskOpenPath ? AskOpenPath()
                                     : QFileDialog::getOpenFileName(&FForm, QStringLiteral("Open session"),
                                                                    StartFolder ? StartFolder() : QString(),
                                                                    QStringLiteral("Session files (*.csv);;All files (*)"));
    if (!path.isEmpty()) Open(toolkit::PathFromDialog(path));
}

void SessionOpener::Open(const std::filesystem::path& path) {
    // The header says whether this is a session; only then does a window open (and the rest is
    // read on its loader's thread).
    FOpenings.Start<std::string>([path](toolkit::BackgroundJobs::Job&) { return SessionFileProblem(path); },
                                 [this, path](const std::string& problem) { Opened(path, problem); });
}

void SessionOpener::Opened(const std::filesystem::path& path, const std::string& problem) {
    if (!problem.empty()) {
        // The reason names the file.
        Tell(QStringLiteral("Could not open the session.\n\n%1").arg(toolkit::DisplayText(toolkit::TextFromBytes(problem))));
        if (OnOpeningEnded) OnOpeningEnded(path, nullptr);
        return;
    }
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    auto* window = new SessionWindow(ec ? path : absolute, &FForm);
    window->addAction(FCommand);  // Ctrl+O from a session window too
    if (OnOpened) OnOpened(*window);
    FWindows.erase(std::remove_if(FWindows.begin(), FWindows.end(), [](const QPointer<SessionWindow>& w) { return w.isNull(); }),
                   FWindows.end());
    FWindows.emplace_back(window);
    window->show();
    window->raise();
    window->activateWindow();
    if (OnOpeningEnded) OnOpeningEnded(path, window);
}

void SessionOpener::Tell(const QString& message) {
    if (ShowError) {
        ShowError(message);
        return;
    }
    // The answer comes a moment after the request, maybe while the user is busy with the capture:
    // a box that leaves the windows working.
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Open session"), message, QMessageBox::Ok, &FForm);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

std::vector<SessionWindow*> SessionOpener::Windows() const {
    std::vector<SessionWindow*> open;
    for (const QPointer<SessionWindow>& w : FWindows) {
        if (w) open.push_back(w.data());
    }
    return open;
}

} // namespace session::ui
