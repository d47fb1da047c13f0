#include "DialogFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace toolkit {

namespace {
QString& LastSaveFolder() {
    static QString folder;  // the window's thread only, as every dialog
    return folder;
}
} // namespace

QString SaveDialogFolder() {
    if (!LastSaveFolder().isEmpty()) return LastSaveFolder();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}

void NoteSavedInto(const QString& chosenFile) {
    if (chosenFile.isEmpty()) return;
    LastSaveFolder() = QFileInfo(chosenFile).absolutePath();
}

QString WithSuffixIfNone(const QString& chosenFile, const QString& suffix) {
    return QFileInfo(chosenFile).suffix().isEmpty() ? chosenFile + QLatin1Char('.') + suffix : chosenFile;
}

} // namespace toolkit
