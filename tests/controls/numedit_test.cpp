#include "controls/NumEdit.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cmath>
#include <limits>
#include <random>

#include "toolkit/NumberText.h"

namespace {

// Counts the edit box's change notifications.
struct ChangeCounter {
    explicit ChangeCounter(TNumEdit& edit) {
        QObject::connect(&edit, &QLineEdit::textChanged, [this] { ++count; });
    }
    int count = 0;
};

// Switches the default locale for one test and puts the previous one back.
class DefaultLocale {
public:
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(FPrevious); }
    DefaultLocale(const DefaultLocale&) = delete;
    DefaultLocale& operator=(const DefaultLocale&) = delete;

private:
    QLocale FPrevious;
};

double ReadWithText(TNumEdit& edit, const QString& text) {
    edit.setText(text);
    return edit.Value();
}

TEST(NumEdit, NewControlShowsZero) {
    TNumEdit edit;
    EXPECT_EQ(edit.text(), "0");
    EXPECT_EQ(edit.Decimals(), 0);
    EXPECT_EQ(edit.Value(), 0.0);
    EXPECT_EQ(edit.text(), "0");
}

TEST(NumEdit, DesignLoadOrderEndsWithTheDesignText) {
    TNumEdit length;  // text, then Value, then Decimals
    length.setText("4.71");
    length.SetValue(4.71);
    EXPECT_EQ(length.text(), "5");
    length.SetDecimals(2);
    EXPECT_EQ(length.text(), "4.71");
    EXPECT_EQ(length.Value(), 4.71);

    TNumEdit id;
    id.setText("0");
    id.SetValue(0.0);
    id.SetDecimals(0);
    EXPECT_EQ(id.text(), "0");
}

TEST(NumEdit, IdentifierBytesShowAsIntegers) {
    TNumEdit id;
    id.SetDecimals(0);
    for (int i = 0; i <= 255; ++i) {
        id.SetValue(i);
        ASSERT_EQ(id.text(), QString::number(i));
        ASSERT_EQ(id.Value(), i);
    }
}

TEST(NumEdit, ReadingValueRewritesTheTextInCanonicalForm) {
    TNumEdit edit;
    edit.SetDecimals(2);
    EXPECT_EQ(ReadWithText(edit, "4.7"), 4.7);
    EXPECT_EQ(edit.text(), "4.70");
    EXPECT_EQ(ReadWithText(edit, " 12.345 "), 12.345);  // the value keeps all its digits
    EXPECT_EQ(edit.text(), "12.35");
    EXPECT_EQ(ReadWithText(edit, "1.005"), 1.005);
    EXPECT_EQ(edit.text(), "1.00");
    EXPECT_EQ(ReadWithText(edit, "."), 0.0);
    EXPECT_EQ(edit.text(), "0.00");
    EXPECT_EQ(ReadWithText(edit, "1E"), 1.0);
    EXPECT_EQ(edit.text(), "1.00");
    EXPECT_EQ(ReadWithText(edit, "-2.5e1"), -25.0);
    EXPECT_EQ(edit.text(), "-25.00");
}

TEST(NumEdit, InvalidTextRestoresTheLastGoodValue) {
    TNumEdit edit;
    edit.SetDecimals(1);
    edit.SetValue(3.0);
    for (const char* text : {"abc", "1E400", "-", "+", "", "\t5", "5\t", "1,5", "1 000", "INF", "5x"}) {
        EXPECT_EQ(ReadWithText(edit, QString::fromUtf8(text)), 3.0) << text;
        EXPECT_EQ(edit.text(), "3.0") << text;
    }
}

TEST(NumEdit, ChangingDecimalsKeepsTheValue) {
    TNumEdit edit;
    edit.SetValue(4.71);
    EXPECT_EQ(edit.text(), "5");
    edit.SetDecimals(2);
    EXPECT_EQ(edit.text(), "4.71");
    edit.SetDecimals(-3);  // negative counts act as 0
    EXPECT_EQ(edit.Decimals(), 0);
    EXPECT_EQ(edit.text(), "5");
    edit.SetDecimals(25);  // kept, but at most 18 digits are shown
    EXPECT_EQ(edit.Decimals(), 25);
    EXPECT_EQ(edit.text(), "4.710000000000000000");
    EXPECT_EQ(edit.Value(), 4.71);
}

TEST(NumEdit, ChangeNotificationOnlyWhenTheTextDiffers) {
    TNumEdit edit;
    edit.SetDecimals(2);
    edit.SetValue(1.5);
    ChangeCounter changes(edit);
    edit.SetValue(1.5);
    edit.SetValue(1.504);  // same text, "1.50"
    EXPECT_EQ(edit.Value(), 1.5);
    EXPECT_EQ(changes.count, 0);
    edit.SetValue(2.0);
    EXPECT_EQ(changes.count, 1);
    edit.setText("2");
    ASSERT_EQ(changes.count, 2);
    EXPECT_EQ(edit.Value(), 2.0);  // "2" becomes "2.00"
    EXPECT_EQ(changes.count, 3);
}

TEST(NumEdit, NonFiniteValuesShowAsTextAndSurviveReading) {
    TNumEdit edit;
    edit.SetValue(-std::numeric_limits<double>::infinity());
    EXPECT_EQ(edit.text(), "-INF");
    EXPECT_EQ(edit.Value(), -std::numeric_limits<double>::infinity());
    edit.SetValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(edit.text(), "NAN");
    EXPECT_TRUE(std::isnan(edit.Value()));
    EXPECT_EQ(edit.text(), "NAN");
}

TEST(NumEdit, UsesTheLocaleDecimalSeparator) {
    DefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
    TNumEdit edit;
    edit.SetDecimals(2);
    edit.SetValue(4.71);
    EXPECT_EQ(edit.text(), "4,71");
    EXPECT_EQ(ReadWithText(edit, " 1,5 "), 1.5);
    EXPECT_EQ(edit.text(), "1,50");
    EXPECT_EQ(ReadWithText(edit, "2.5"), 1.5);  // a full stop is not the separator here
    EXPECT_EQ(edit.text(), "1,50");
    EXPECT_EQ(ReadWithText(edit, "1.000,5"), 1.5);  // nor are thousands separators accepted
}

// Whatever is typed, reading Value returns normally and leaves the canonical text of the value it
// returns; reading again changes nothing.
TEST(NumEdit, AnyTypedTextEndsCanonical) {
    const QString alphabet = QString::fromUtf8("0123456789.,+-eE \t\nx\u00e4\u0663\u066b\u00a0\u2212") + QChar(u'\0');
    std::mt19937 random(7);
    TNumEdit edit;
    for (int i = 0; i < 3000; ++i) {
        QString text;
        const int size = static_cast<int>(random() % 12);
        for (int j = 0; j < size; ++j) text += alphabet.at(static_cast<int>(random() % alphabet.size()));
        edit.SetDecimals(static_cast<int>(random() % 20) - 1);
        edit.setText(text);
        double value = 0.0;
        ASSERT_NO_THROW(value = edit.Value()) << text.toStdString();
        ASSERT_EQ(edit.text().toStdString(), toolkit::FormatFixed(value, edit.Decimals(), '.')) << text.toStdString();
        // Canonical text reads back as a number that shows the same text.
        const QString canonical = edit.text();
        edit.Value();
        ASSERT_EQ(edit.text(), canonical) << text.toStdString();
    }
    edit.setText(QString(30000, QChar(u'9')));  // far beyond the double range
    const double before = edit.Value();
    EXPECT_EQ(edit.text().toStdString(), toolkit::FormatFixed(before, edit.Decimals(), '.'));
}

} // namespace
