#include "app/recording/qt/FileSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "app/recording/FileKind.h"
#include "toolkit/qt/FileName.h"

QString SaveWholeFile(const QString& path, const QByteArray& bytes, const QString& what) {
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        // Writing would wait for a reader or a driver, or replace what is there with a file.
        const std::string kind = recording::NonRegularFileKind(toolkit::PathFromText(path));
        return QStringLiteral("Could not save the %1 to \"%2\": it is %3, not a file")
            .arg(what, shown, kind.empty() ? QStringLiteral("not a regular file") : QString::fromStdString(kind));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        return QStringLiteral("Could not save the %1 to \"%2\": %3").arg(what, shown, file.errorString());
    }
    return {};
}
