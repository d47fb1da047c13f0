#include "FileName.h"

#include <QUrl>

#include <system_error>

namespace toolkit {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // byte b (0x80..0xFF) is kept as U+DC00 + b
constexpr char16_t kReplacement = 0xFFFD;

// The length of the well-formed UTF-8 sequence at `at`, or 0 when the byte there starts none
// (overlong forms, encoded surrogates and code points past U+10FFFF included).
size_t SequenceLength(std::string_view bytes, size_t at, char32_t& code) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    size_t length = 0;
    char32_t low = 0;  // the smallest code point of that length
    if ((lead & 0xE0) == 0xC0) length = 2, code = lead & 0x1F, low = 0x80;
    else if ((lead & 0xF0) == 0xE0) length = 3, code = lead & 0x0F, low = 0x800;
    else if ((lead & 0xF8) == 0xF0) length = 4, code = lead & 0x07, low = 0x10000;
    else return 0;
    if (at + length > bytes.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < low || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool Exists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// The one entry of `folder` shown as `shown`, if exactly one is.
bool FindShownEntry(const std::filesystem::path& folder, const QString& shown, std::filesystem::path& found) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? std::filesystem::path(".") : folder, ec);
    int matches = 0;
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::filesystem::path name = it->path().filename();
        if (DisplayText(name) != shown) continue;
        found = folder / name;
        if (++matches > 1) return false;
    }
    return matches == 1;
}

} // namespace

QString TextFromBytes(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (size_t at = 0; at < bytes.size();) {
        char32_t code = 0;
        const size_t length = SequenceLength(bytes, at, code);
        if (length == 0) {
            text += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[at])));
            ++at;
            continue;
        }
        if (code < 0x10000) {
            text += QChar(static_cast<char16_t>(code));
        } else {
            text += QChar(QChar::highSurrogate(code));
            text += QChar(QChar::lowSurrogate(code));
        }
        at += length;
    }
    return text;
}

std::string BytesFromText(QStringView text) {
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            AppendUtf8(bytes, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes += static_cast<char>(unit - kEscapeBase);
        } else if (QChar::isSurrogate(unit)) {
            AppendUtf8(bytes, kReplacement);  // no name holds it; nothing better to give
        } else {
            AppendUtf8(bytes, unit);
        }
    }
    return bytes;
}

QString DisplayText(QStringView text) {
    QString shown = text.toString();
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown[i].isHighSurrogate() && i + 1 < shown.size() && shown[i + 1].isLowSurrogate()) {
            ++i;
        } else if (shown[i].isSurrogate()) {
            shown[i] = QChar(kReplacement);
        }
    }
    return shown;
}

QString DisplayText(const std::filesystem::path& path) { return DisplayText(TextFromPath(path)); }

std::filesystem::path PathFromDialog(const QString& text) {
    const std::filesystem::path given = PathFromText(text);
    if (!text.contains(QChar(kReplacement)) || Exists(given)) return given;
    std::filesystem::path resolved = given.root_path();
    for (const std::filesystem::path& part : given.relative_path()) {
        const std::filesystem::path next = resolved / part;
        const QString shown = TextFromPath(part);
        std::filesystem::path found;
        if (!Exists(next) && shown.contains(QChar(kReplacement)) && FindShownEntry(resolved, shown, found)) {
            resolved = found;
        } else {
            resolved = next;
        }
    }
    return resolved;
}

} // namespace toolkit
