#include "controls/NumEdit.h"

#include <QLocale>

#include "toolkit/NumberText.h"

namespace {

// The decimal separator of the default locale, for both formatting and parsing. The number text
// works on 8-bit characters, so a separator that is not one Latin-1 character, or one that could
// be mistaken for part of a number, falls back to a full stop.
char DecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    if (point.size() != 1) return '.';
    const char16_t c = point.at(0).unicode();
    if (c <= 0x20 || c >= 0x100 || c == 0x7F || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'E' ||
        c == 'e')
        return '.';
    return static_cast<char>(c);
}

} // namespace

TNumEdit::TNumEdit(QWidget* parent) : QLineEdit(parent) { UpdateText(); }

double TNumEdit::Value() {
    const QByteArray text = this->text().toLatin1();
    double parsed = 0.0;
    if (toolkit::ParseNumber(std::string_view(text.constData(), static_cast<size_t>(text.size())),
                             DecimalSeparator(), parsed))
        FValue = parsed;
    UpdateText();
    return FValue;
}

void TNumEdit::SetValue(double value) {
    FValue = value;
    UpdateText();
}

void TNumEdit::SetDecimals(int decimals) {
    FDecimals = decimals;
    UpdateText();
}

void TNumEdit::UpdateText() {
    const QString formatted = QString::fromLatin1(toolkit::FormatFixed(FValue, FDecimals, DecimalSeparator()));
    // Same text, no change: no notification, and the caret and undo history stay as they are.
    if (formatted != text()) setText(formatted);
}
