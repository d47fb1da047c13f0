#include "Csv.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "app/record/Words.h"

namespace record {

namespace {
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) return 0;
    }
    if (len == 2 && b0 < 0xC2) return 0;  // overlong
    return len;
}

bool IsFormulaStart(char c) { return c == '=' || c == '+' || c == '-' || c == '@'; }

// Every row carries its bytes in hex: a table lookup per digit keeps checking them cheap.
constexpr std::array<int8_t, 256> kNibbles = [] {
    std::array<int8_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[static_cast<size_t>(c)] = static_cast<int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) t[static_cast<size_t>(c)] = static_cast<int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) t[static_cast<size_t>(c)] = static_cast<int8_t>(c - 'A' + 10);
    return t;
}();

int Nibble(char c) { return kNibbles[static_cast<uint8_t>(c)]; }
} // namespace

void AppendCsvField(std::string& out, std::string_view text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string SafeFieldText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 1);
    if (!utf8.empty() && IsFormulaStart(utf8[0])) out += '\'';
    for (size_t i = 0; i < utf8.size();) {
        const size_t len = Utf8SequenceLength(utf8, i);
        if (len == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        const auto b0 = static_cast<uint8_t>(utf8[i]);
        const bool c0OrDel = len == 1 && (b0 < 0x20 || b0 == 0x7F);
        const bool c1 = len == 2 && b0 == 0xC2 && static_cast<uint8_t>(utf8[i + 1]) < 0xA0;
        if (c0OrDel || c1) out += kReplacement;
        else out.append(utf8.substr(i, len));
        i += len;
    }
    return out;
}

std::string_view WithoutFormulaGuard(std::string_view field) {
    if (field.size() > 1 && field[0] == '\'' && IsFormulaStart(field[1])) field.remove_prefix(1);
    return field;
}

std::string HexEncode(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

namespace {
// Every row's bytes are checked and few are kept: the check alone is compiled on its own.
template <bool Keep>
bool DecodeHex(std::string_view hex, std::string* out) {
    if constexpr (Keep) {
        out->clear();
        out->reserve(hex.size() / 2 + 1);
    }
    const size_t n = hex.size();
    for (size_t i = 0; i < n;) {
        if (i + 1 >= n) return false;
        const int hi = Nibble(hex[i]);
        const int lo = Nibble(hex[i + 1]);
        if ((hi | lo) < 0) return false;  // either not a hex digit
        if constexpr (Keep) *out += static_cast<char>(hi << 4 | lo);
        i += 2;
        if (i < n && hex[i] == ' ' && i + 1 < n) ++i;
    }
    return true;
}
} // namespace

bool HexDecode(std::string_view hex, std::string* out) {
    return out ? DecodeHex<true>(hex, out) : DecodeHex<false>(hex, nullptr);
}

bool SplitRow(std::string_view row, std::vector<RawField>& fields) {
    fields.clear();
    const char* p = row.data();
    const char* const end = p + row.size();
    for (;;) {
        const char* fieldEnd;
        const bool quoted = p < end && *p == '"';
        if (quoted) {
            const char* q = p + 1;
            for (;;) {
                q = static_cast<const char*>(std::memchr(q, '"', static_cast<size_t>(end - q)));
                if (q == nullptr) return false;
                if (q + 1 < end && q[1] == '"') {
                    q += 2;
                    continue;
                }
                break;
            }
            fieldEnd = q + 1;
            if (fieldEnd < end && *fieldEnd != ',') return false;
        } else {
            // Fields are a few bytes long: a plain loop beats a library call per field.
            fieldEnd = p;
            while (fieldEnd < end && *fieldEnd != ',') ++fieldEnd;
        }
        fields.push_back({std::string_view(p, static_cast<size_t>(fieldEnd - p)), quoted});
        if (fieldEnd == end) return true;
        p = fieldEnd + 1;
    }
}

size_t SplitUnquotedRow(std::string_view row, RawField* fields, size_t capacity) {
    const char* const text = row.data();
    const size_t size = row.size();
    size_t count = 0;
    size_t fieldStart = 0;
    size_t i = 0;
    const auto endField = [&](size_t at) {
        if (count < capacity) fields[count] = {std::string_view(text + fieldStart, at - fieldStart), false};
        ++count;
        fieldStart = at + 1;
    };
    // A word's bytes that are commas, as their top bits: exact per byte, no carry between them.
    constexpr uint64_t kCommas = 0x2C2C2C2C2C2C2C2Cull, kLow7 = 0x7F7F7F7F7F7F7F7Full;
    for (; i + 8 <= size; i += 8) {
        const uint64_t x = LoadWord(text + i) ^ kCommas;
        uint64_t commas = ~(((x & kLow7) + kLow7) | x | kLow7);
        for (; commas != 0; commas &= commas - 1) endField(i + static_cast<size_t>(std::countr_zero(commas)) / 8);
    }
    for (; i < size; ++i) {
        if (text[i] == ',') endField(i);
    }
    endField(size);
    return count;
}

std::string_view QuotedFieldValue(const RawField& field, std::string& scratch) {
    const std::string_view inner = field.text.substr(1, field.text.size() - 2);
    if (inner.find('"') == std::string_view::npos) return inner;
    scratch.clear();
    for (size_t i = 0; i < inner.size(); ++i) {
        scratch += inner[i];
        if (inner[i] == '"') ++i;  // the second of a doubled quote
    }
    return scratch;
}

std::optional<std::vector<std::string>> SplitCsvLine(std::string_view row) {
    std::vector<RawField> raw;
    if (!SplitRow(row, raw)) return std::nullopt;
    std::vector<std::string> out;
    out.reserve(raw.size());
    std::string scratch;
    for (const RawField& f : raw) out.emplace_back(FieldValue(f, scratch));
    return out;
}

const char* FindRowEnd(const char* begin, const char* end) {
    const auto* nl = static_cast<const char*>(std::memchr(begin, '\n', static_cast<size_t>(end - begin)));
    if (nl == nullptr) return nullptr;
    if (std::memchr(begin, '"', static_cast<size_t>(nl - begin)) == nullptr) return nl;
    // A quote opens a quoted field only at the field's start, and a line end inside one is text.
    bool fieldStart = true;
    bool quoted = false;
    for (const char* p = begin; p < end; ++p) {
        const char c = *p;
        if (quoted) {
            if (c != '"') continue;
            if (p + 1 == end) return nullptr;  // closing, or the first of a doubled quote: not known yet
            if (p[1] == '"') ++p;
            else quoted = false;
            continue;
        }
        if (c == '\n') return p;
        if (c == ',') {
            fieldStart = true;
            continue;
        }
        if (c == '"' && fieldStart) quoted = true;
        fieldStart = false;
    }
    return nullptr;
}

} // namespace record
