// Folder names outside the ANSI code page on Windows: the command line, the captures folder, the
// settings file, the session file, the table's save command and the messages all keep every
// letter, and a session lands exactly in the folder asked for.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/ProcessBoundary.h"
#include "app/MainForm.h"
#include "app/record/Columns.h"
#include "app/recording/qt/SessionRecording.h"
#include "app/recording/qt/TableExportCommands.h"
#include "toolkit/qt/FileName.h"
#include "../support/QtWait.h"

// After the serial headers the window's pull in: its macros would clash with their names.
#include <windows.h>

#include "toolkit/windows/UniqueHandle.h"

namespace {

namespace fs = std::filesystem;

// Cyrillic, Turkish, Greek and CJK letters, with spaces.
const std::vector<std::wstring> kFolderNames = {
    L"\u0414\u0430\u043d\u043d\u044b\u0435 \u0437\u0430\u043c\u0435\u0440\u043e\u0432",  // Данные замеров
    L"M\u00fc\u015fteri \u00d6l\u00e7\u00fcm",                                          // Müşteri Ölçüm
    L"\u039c\u03b5\u03c4\u03c1\u03ae\u03c3\u03b5\u03b9\u03c2 \u03b3\u03ba\u03b1\u03b6\u03b9\u03bf\u03cd",  // Μετρήσεις γκαζιού
    L"\u6e2c\u5b9a\u30c7\u30fc\u30bf \u8a18\u9332",                                      // 測定データ 記録
};

std::vector<std::wstring> EntriesOf(const fs::path& folder) {
    std::vector<std::wstring> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().wstring());
    }
    return names;
}

QString Q(const std::wstring& text) { return QString::fromStdWString(text); }

class UnicodePathsTest : public ::testing::Test {
protected:
    fs::path base;

    void SetUp() override {
        base = fs::temp_directory_path() / (L"torvane unicode " + std::to_wstring(::GetCurrentProcessId()));
        fs::remove_all(base);
        ASSERT_TRUE(fs::create_directories(base));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(base, ec);
    }

    // A window that records into captureDir, as main builds it from the command line.
    struct Window {
        std::unique_ptr<TForm1> form;
        std::unique_ptr<SessionRecording> recording;
    };
    Window MakeWindow(const QStringList& arguments, const fs::path& settingsFile) {
        const CommandLine commandLine = ParseCommandLine(arguments, QStringLiteral("1.0"));
        EXPECT_EQ(commandLine.action, CommandLine::Action::Run) << commandLine.text.toStdString();
        Window w;
        TForm1::Options formOptions;
        formOptions.portList.extraPortsEnv = "TORVANE_UNICODE_TEST_NO_PORTS";
        w.form = std::make_unique<TForm1>(formOptions);
        w.form->Timer1->stop();  // no port search: the session is fed by hand
        SessionRecording::Options options;
        options.captureDir = CaptureFolder(commandLine);
        options.settingsFile = Q(settingsFile.wstring());
        w.recording = std::make_unique<SessionRecording>(*w.form, options);
        return w;
    }
    static void RecordOneSession(Window& w) {
        w.form->Start->setEnabled(true);
        w.form->StartClick(w.form->Start);
        const std::string line = std::string("S\x01\x07\x6f\x10\x20\x01\r", 8);
        size_t pos = 0;
        w.form->Rx.ReceiveBytes(static_cast<int32_t>(line.size()), [&](uint8_t& b) {
            b = static_cast<uint8_t>(line[pos++]);
            return true;
        });
        w.form->StartClick(w.form->Start);
        w.recording->Recorder().Writer().WaitUntilWritten();
    }
};

TEST_F(UnicodePathsTest, EachSessionLandsExactlyInTheFolderAskedFor) {
    for (const std::wstring& name : kFolderNames) {
        const fs::path folder = base / name;
        Window w = MakeWindow({QStringLiteral("torvane-capture"), QStringLiteral("--capture-dir"), Q(folder.wstring())},
                              base / (name + L".ini"));
        EXPECT_EQ(w.recording->CapturesFolderPath(), folder) << folder.string();
        w.recording->SetRecordSessions(true);
        RecordOneSession(w);
        EXPECT_EQ(w.recording->Recorder().Writer().LastFilePath().parent_path(), folder);
        const std::vector<std::wstring> files = EntriesOf(folder);
        ASSERT_EQ(files.size(), 1u) << folder.string();
        std::ifstream in(folder / files[0], std::ios::binary);
        std::string header;
        std::string row;
        ASSERT_TRUE(std::getline(in, header) && std::getline(in, row));
        EXPECT_EQ(header + "\n", record::HeaderRow());
        EXPECT_EQ(row.substr(row.size() - 20), "53 01 07 6f 10 20 01");
        EXPECT_TRUE(w.recording->Notice().isEmpty()) << w.recording->Notice().toStdString();
        // The settings file is the one asked for, too.
        w.recording.reset();
        EXPECT_TRUE(fs::exists(base / (name + L".ini")));
    }
    // Nothing anywhere else: no folder under a name the code page mangled.
    std::vector<std::wstring> expected;
    for (const std::wstring& name : kFolderNames) {
        expected.push_back(name);
        expected.push_back(name + L".ini");
    }
    std::vector<std::wstring> found = EntriesOf(base);
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected);
}

TEST_F(UnicodePathsTest, MessagesShowTheNamesWithBackslashes) {
    for (const std::wstring& name : kFolderNames) {
        // A file where the captures folder should be: the session cannot be recorded.
        std::ofstream(base / name) << "not a folder";
        const fs::path folder = base / name / L"captures";
        Window w = MakeWindow({QStringLiteral("torvane-capture"), QStringLiteral("--capture-dir=") + Q(folder.wstring())},
                              base / L"settings.ini");
        RecordOneSession(w);
        for (int i = 0; i < 100 && w.recording->Notice().isEmpty(); ++i) QCoreApplication::processEvents();
        const QString notice = w.recording->Notice();
        EXPECT_TRUE(notice.contains(QLatin1Char('"') + Q(folder.wstring()) + QLatin1Char('"')))
            << notice.toStdString() << " | " << QDir::toNativeSeparators(Q(folder.wstring())).toStdString();
        EXPECT_FALSE(notice.contains(QLatin1Char('/'))) << notice.toStdString();
    }
}

TEST_F(UnicodePathsTest, TheTableIsSavedUnderTheNameChosen) {
    const fs::path saved = base / (kFolderNames[1] + L" tablo.csv");
    Window w = MakeWindow({QStringLiteral("torvane-capture")}, base / L"settings.ini");
    TableExportOptions options;
    options.askSavePath = [&] { return Q(saved.wstring()); };
    // The file is written off the window's thread; this is told once it is.
    bool done = false;
    QString error;
    options.saved = [&](const QString&, const QString& e) {
        done = true;
        error = e;
    };
    InstallTableExportCommands(*w.form, options);
    for (QAction* action : w.form->actions()) {
        if (action->text().startsWith(QStringLiteral("Save table"))) action->trigger();
    }
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return done; }));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    std::ifstream in(saved, std::ios::binary);
    std::string header;
    ASSERT_TRUE(std::getline(in, header));
    EXPECT_EQ(header, "Car,Time,Last LB,Drive PWM,Brake PWM,Lane Change");
}

// The program as started from a shell with a folder name outside the code page: run as a child
// of this test with such a command line, it must read the name in full.
TEST(UnicodeCommandLine, ChildReportsItsCaptureFolder) {
    const char* out = std::getenv("TORVANE_UNICODE_CHILD_OUT");
    if (out == nullptr) GTEST_SKIP() << "run by CommandLineArgumentsKeepEveryLetter";
    QStringList arguments = ProcessArguments(0, nullptr);
    arguments.removeIf([](const QString& a) { return a.startsWith(QStringLiteral("--gtest_")); });
    const CommandLine commandLine = ParseCommandLine(arguments, QStringLiteral("1.0"));
    ASSERT_EQ(commandLine.action, CommandLine::Action::Run) << commandLine.text.toStdString();
    std::ofstream(out, std::ios::binary) << QDir::fromNativeSeparators(toolkit::TextFromPath(CaptureFolder(commandLine))).toStdString();
}

TEST(UnicodeCommandLine, CommandLineArgumentsKeepEveryLetter) {
    wchar_t self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const fs::path out = fs::temp_directory_path() / ("torvane-child-" + std::to_string(::GetCurrentProcessId()) + ".txt");
    const std::wstring folder = L"C:\\Users\\\u00dcnal Test\\" + kFolderNames[1];
    std::wstring commandLine = L"\"" + std::wstring(self) +
                               L"\" --gtest_filter=UnicodeCommandLine.ChildReportsItsCaptureFolder --capture-dir \"" +
                               folder + L"\"";
    ::SetEnvironmentVariableW(L"TORVANE_UNICODE_CHILD_OUT", out.wstring().c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process));
    const toolkit::UniqueHandle child(process.hProcess), childThread(process.hThread);
    ::SetEnvironmentVariableW(L"TORVANE_UNICODE_CHILD_OUT", nullptr);
    ::WaitForSingleObject(child.Get(), INFINITE);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(child.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    std::ifstream in(out, std::ios::binary);
    std::string reported((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    fs::remove(out);
    EXPECT_EQ(QString::fromStdString(reported), QDir::fromNativeSeparators(Q(folder)));
}

} // namespace
