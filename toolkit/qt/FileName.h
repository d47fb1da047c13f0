#pragma once
// File and port names between the system and Qt's text. A name is kept as the bytes (Linux) or
// UTF-16 units (Windows) the user gave: std::filesystem::path for files, std::string for ports,
// from the command line, the environment, a dialog or a drop to the call that opens it. QString
// holds a name only on its way through Qt (the command-line parser, a list box) in a form that
// gives the same bytes back, and for showing it to a person.
//
// The lossless form: UTF-8 decoded as such, every byte that is not part of a well-formed UTF-8
// sequence kept as the lone surrogate U+DC80..U+DCFF (which no well-formed text contains).
#include <QString>
#include <QStringView>

#include <filesystem>
#include <string>
#include <string_view>

class QUrl;

namespace toolkit {

// Bytes to text and back, losing nothing; TextFromBytes(BytesFromText(t)) == t for any text
// TextFromBytes made.
QString TextFromBytes(std::string_view bytes);
std::string BytesFromText(QStringView text);

// The name as a person reads it: bytes that are no UTF-8 (and any lone surrogate) as U+FFFD.
QString DisplayText(QStringView text);
QString DisplayText(const std::filesystem::path& path);

// A path and its lossless text, for either system (one file per OS).
std::filesystem::path PathFromText(const QString& text);
QString TextFromPath(const std::filesystem::path& path);

// A dropped or chosen local file URL as the file's own name ("file:///tmp/caf%E9.csv" is the
// bytes 63 61 66 e9 on Linux); empty for a URL that is no local file.
std::filesystem::path PathFromUrl(const QUrl& url);

// The file URL of a path, for handing a folder to the desktop (its bytes escaped as they are).
QUrl UrlFromPath(const std::filesystem::path& path);

// An environment variable holding a path, its bytes as set; empty when unset or empty.
std::filesystem::path PathFromEnvironment(const char* name);

// The file a file dialog means by `text`. A dialog can only show a name that is no UTF-8 with
// U+FFFD in it, and hands that text back; each such part is matched against its folder's entries
// as shown, and taken where exactly one entry fits. Anything else is the text's own path.
std::filesystem::path PathFromDialog(const QString& text);

} // namespace toolkit
