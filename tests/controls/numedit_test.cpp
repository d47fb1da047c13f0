#include "controls/NumEdit.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <random>

#include "toolkit/NumberText.h"

namespace {

double ReadWithText(TNumEdit& edit, const QString& text) {
    edit.setText(text);
    return edit.Value();
}

TEST(NumEdit, DesignLoadOrderAndDecimalsChangesKeepTheValue) {
    TNumEdit length;
    EXPECT_EQ(length.text(), "0");
    length.setText("4.71");  // text, then Value, then Decimals
    length.SetValue(4.71);
    EXPECT_EQ(length.text(), "5");
    length.SetDecimals(2);
    EXPECT_EQ(length.text(), "4.71");
    length.SetDecimals(-3);  // kept as given, shown as 0
    EXPECT_EQ(length.Decimals(), -3);
    EXPECT_EQ(length.text(), "5");
    length.SetDecimals(25);  // kept, but at most 18 digits show
    EXPECT_EQ(length.text(), "4.710000000000000000");
    EXPECT_EQ(length.Value(), 4.71);
}

TEST(NumEdit, IdentifierBytesShowAsIntegers) {
    TNumEdit id;
    for (int i = 0; i <= 255; ++i) {
        id.SetValue(i);
        ASSERT_EQ(id.text(), QString::number(i));
    }
}

TEST(NumEdit, ReadingValueRewritesTheTextOrRestoresTheLastGoodValue) {
    TNumEdit edit;
    edit.SetDecimals(2);
    EXPECT_EQ(ReadWithText(edit, " 12.345 "), 12.345);  // the value keeps all its digits
    EXPECT_EQ(edit.text(), "12.35");
    EXPECT_EQ(ReadWithText(edit, "1.005"), 1.005);
    EXPECT_EQ(edit.text(), "1.00");
    EXPECT_EQ(ReadWithText(edit, "1E"), 1.0);
    EXPECT_EQ(edit.text(), "1.00");
    edit.SetDecimals(1);
    edit.SetValue(3.0);
    for (const char* text : {"abc", "1E400", "-", "", "\t5", "1,5"}) {
        EXPECT_EQ(ReadWithText(edit, text), 3.0) << text;
        EXPECT_EQ(edit.text(), "3.0") << text;
    }
}

TEST(NumEdit, ChangeNotificationOnlyWhenTheTextDiffers) {
    TNumEdit edit;
    edit.SetDecimals(2);
    edit.SetValue(1.5);
    int changes = 0;
    QObject::connect(&edit, &QLineEdit::textChanged, [&changes] { ++changes; });
    edit.SetValue(1.5);
    edit.SetValue(1.504);  // also "1.50"
    EXPECT_EQ(edit.Value(), 1.5);
    EXPECT_EQ(changes, 0);
    edit.SetValue(2.0);
    EXPECT_EQ(changes, 1);
}

TEST(NumEdit, UsesTheLocaleDecimalSeparator) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TNumEdit edit;
    edit.SetDecimals(2);
    edit.SetValue(4.71);
    EXPECT_EQ(edit.text(), "4,71");
    EXPECT_EQ(ReadWithText(edit, " 1,5 "), 1.5);
    EXPECT_EQ(edit.text(), "1,50");
    EXPECT_EQ(ReadWithText(edit, "2.5"), 1.5);
    EXPECT_EQ(edit.text(), "1,50");
    QLocale::setDefault(previous);
}

// Whatever is typed, reading Value returns normally and leaves the canonical text of the value it
// returns; reading again changes nothing.
TEST(NumEdit, AnyTypedTextEndsCanonical) {
    const QString alphabet = QString::fromUtf8("0123456789.,+-eE \t\nx\u00e4\u0663\u00a0\u2212") + QChar(u'\0');
    std::mt19937 random(7);
    TNumEdit edit;
    for (int i = 0; i < 3000; ++i) {
        QString text;
        for (int j = static_cast<int>(random() % 12); j > 0; --j) text += alphabet.at(random() % alphabet.size());
        edit.SetDecimals(static_cast<int>(random() % 20) - 1);
        edit.setText(text);
        double value = 0.0;
        ASSERT_NO_THROW(value = edit.Value()) << text.toStdString();
        const QString canonical = edit.text();
        ASSERT_EQ(canonical.toStdString(), toolkit::FormatFixed(value, edit.Decimals(), '.')) << text.toStdString();
        edit.Value();
        ASSERT_EQ(edit.text(), canonical) << text.toStdString();
    }
}

} // namespace
