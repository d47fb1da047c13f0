// File and port names between the system's bytes and Qt's text: nothing lost on the way, shown
// readably, and a name a dialog or a drop could not carry as text found again.
#include <gtest/gtest.h>

#include <QUrl>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "toolkit/qt/FileName.h"

namespace {

namespace fs = std::filesystem;
using toolkit::BytesFromText;
using toolkit::TextFromBytes;

TEST(FileName, AnyBytesComeBackAsTheyWere) {
    // Every single byte, the edges of the UTF-8 forms, and forms that are not UTF-8: overlong,
    // encoded surrogates (whose escapes could be mistaken for ours), past U+10FFFF, cut short.
    std::vector<std::string> samples = {"", "plain", "caf\xc3\xa9", "\xf0\x9f\x9a\x97 car", "caf\xe9", "\xc0\xaf",
                                        "\xe0\x80\xaf", "\xed\xa0\x80", "\xed\xb2\x80", "\xf4\x90\x80\x80", "\xe2\x82",
                                        "\xff\xfe", std::string("nul\0in", 6)};
    for (int b = 0; b < 256; ++b) samples.push_back(std::string(1, static_cast<char>(b)));
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        std::string s(random() % 12, '\0');
        for (char& c : s) c = static_cast<char>(random() % 256);
        samples.push_back(s);
    }
    for (const std::string& bytes : samples) {
        const QString text = TextFromBytes(bytes);
        EXPECT_EQ(BytesFromText(text), bytes) << testing::PrintToString(bytes);
        EXPECT_EQ(TextFromBytes(BytesFromText(text)), text);
    }
    // Well-formed UTF-8 is plain text, as Qt reads it; only what is not is escaped.
    EXPECT_EQ(TextFromBytes("caf\xc3\xa9 \xf0\x9f\x9a\x97"), QString::fromUtf8("caf\xc3\xa9 \xf0\x9f\x9a\x97"));
    EXPECT_EQ(TextFromBytes("\xed\xb2\x80").size(), 3) << "an encoded surrogate is three escaped bytes";
}

TEST(FileName, ShownWithReplacementCharactersWhereBytesAreNoText) {
    EXPECT_EQ(toolkit::DisplayText(TextFromBytes("caf\xe9.csv")), QString::fromUtf8("caf\xef\xbf\xbd.csv"));
    EXPECT_EQ(toolkit::DisplayText(TextFromBytes("\xf0\x9f\x9a\x97")), QString::fromUtf8("\xf0\x9f\x9a\x97"));
    EXPECT_EQ(toolkit::DisplayText(fs::path("/tmp/a\xff")), QString::fromUtf8("/tmp/a\xef\xbf\xbd"));
    EXPECT_EQ(toolkit::PathFromText(toolkit::TextFromPath(fs::path("/tmp/a\xff"))), fs::path("/tmp/a\xff"));
}

class FileNameFolder : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("file-name-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           "-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    static void Touch(const fs::path& p) { std::ofstream(p) << "x"; }
};

TEST_F(FileNameFolder, ADroppedUrlKeepsItsBytes) {
    const fs::path file = dir / "sitzung-\xe4.csv";
    Touch(file);
    // As a file manager puts it in the drop: the byte percent-escaped.
    QByteArray url = "file://" + QByteArray::fromStdString(file.native()).toPercentEncoding("/");
    EXPECT_EQ(toolkit::PathFromUrl(QUrl::fromEncoded(url)), file);
    EXPECT_EQ(toolkit::PathFromUrl(QUrl::fromLocalFile(QStringLiteral("/tmp/caf\u00e9.csv"))), fs::path("/tmp/caf\xc3\xa9.csv"));
    EXPECT_EQ(toolkit::PathFromUrl(QUrl(QStringLiteral("https://example.invalid/a.csv"))), fs::path());
    EXPECT_EQ(toolkit::PathFromUrl(toolkit::UrlFromPath(file)), file);
}

TEST_F(FileNameFolder, ANameADialogCouldOnlyShowIsFoundWhereItIsTheOnlyOneShownSo) {
    fs::create_directories(dir / "Messung-\xe9");
    const fs::path file = dir / "Messung-\xe9" / "caf\xe9.csv";
    Touch(file);
    // The dialog hands back what it showed: U+FFFD for each byte it could not read.
    const QString shown = toolkit::DisplayText(file);
    EXPECT_EQ(toolkit::PathFromDialog(shown), file);
    // Text that names an existing file as it is stays as it is.
    Touch(dir / "plain.csv");
    EXPECT_EQ(toolkit::PathFromDialog(toolkit::TextFromPath(dir / "plain.csv")), dir / "plain.csv");
    // Two entries shown alike: no guess; that part stays as the dialog gave it (and fails to open).
    Touch(dir / "Messung-\xe9" / "caf\xe8.csv");
    EXPECT_EQ(toolkit::PathFromDialog(shown), dir / "Messung-\xe9" / "caf\xef\xbf\xbd.csv");
    // A new file in such a folder (a save dialog): the folder is found, the new name kept.
    const QString newName = toolkit::DisplayText(dir / "Messung-\xe9" / "neu.csv");
    EXPECT_EQ(toolkit::PathFromDialog(newName), dir / "Messung-\xe9" / "neu.csv");
}

} // namespace
