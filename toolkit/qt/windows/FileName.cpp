#include "toolkit/qt/FileName.h"

#include <QUrl>
#include <QtGlobal>

// A Windows name is UTF-16 units, which QString holds as they are (a lone surrogate too).
namespace toolkit {

std::filesystem::path PathFromText(const QString& text) { return std::filesystem::path(text.toStdWString()); }

QString TextFromPath(const std::filesystem::path& path) { return QString::fromStdWString(path.native()); }

std::filesystem::path PathFromUrl(const QUrl& url) {
    return url.isLocalFile() ? PathFromText(url.toLocalFile()) : std::filesystem::path();
}

QUrl UrlFromPath(const std::filesystem::path& path) { return QUrl::fromLocalFile(TextFromPath(path)); }

// Qt reads the environment in UTF-16 here.
std::filesystem::path PathFromEnvironment(const char* name) { return PathFromText(qEnvironmentVariable(name)); }

} // namespace toolkit
