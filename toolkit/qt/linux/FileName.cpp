#include "toolkit/qt/FileName.h"

#include <QByteArray>
#include <QUrl>

#include <cstdlib>
#include <system_error>

// A Linux name is bytes, whatever the locale: kept as they are.
namespace toolkit {

std::filesystem::path PathFromText(const QString& text) { return std::filesystem::path(BytesFromText(text)); }

QString TextFromPath(const std::filesystem::path& path) { return TextFromBytes(path.native()); }

std::filesystem::path PathFromUrl(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    // Qt decodes the escapes of the URL's path into text, losing bytes that are no UTF-8; the
    // fully encoded path still has them.
    if (!url.host().isEmpty()) return PathFromText(url.toLocalFile());
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return std::filesystem::path(bytes.toStdString());
}

QUrl UrlFromPath(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return QUrl::fromEncoded(QByteArrayLiteral("file://") + QByteArray::fromStdString(absolute.native()).toPercentEncoding("/"));
}

std::filesystem::path PathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

} // namespace toolkit
