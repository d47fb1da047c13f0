// Where the file dialogs start, through the real dialogs: "Open session" in the captures folder;
// the save and export commands in Documents until the user has saved somewhere, then there.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>

#include "TestSettings.h"
#include "app/MainForm.h"
#include "app/recording/qt/TableExportCommands.h"
#include "app/session/ui/SessionOpening.h"
#include "app/session/ui/SessionWindow.h"
#include "toolkit/qt/DialogFolders.h"
#include "QtWait.h"

namespace {

class DialogFoldersTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QStandardPaths::setTestModeEnabled(true);  // Documents under the test's own home
        testsupport::UseSettingsIn(dir.path(), QStringLiteral("dialog-folders-test"));
        TForm1::Options o;
        o.portList.sysfsRoot = "/nonexistent-sysfs";
        o.portList.extraPortsEnv = "TORVANE_DIALOG_FOLDERS_TEST_PORTS";
        form = std::make_unique<TForm1>(o);
        InstallTableExportCommands(*form);
    }
    void TearDown() override { form.reset(); }

    // Runs `open`, which shows a modal file dialog; answers the dialog once it is up (a call
    // posted now is served by the dialog's own event loop) with `choose`, which may pick a
    // file, and returns the folder the dialog started in.
    QString StartFolderOf(const std::function<void()>& open, const QString& choose = {}) {
        QString folder = QStringLiteral("(no dialog)");
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            folder = QDir(dialog->directory()).absolutePath();
            if (choose.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(choose);
                static_cast<QDialog*>(dialog)->accept();  // the file dialog's own, which takes the chosen name
            }
        });
        open();
        return folder;
    }

    QAction* Command(const QString& text) const {
        for (QAction* a : form->actions()) {
            if (a->text() == text) return a;
        }
        return nullptr;
    }
};

TEST_F(DialogFoldersTest, OpenStartsInTheCapturesFolderAndSavingInTheLastFolderUsedElseDocuments) {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    ASSERT_FALSE(documents.isEmpty());
    ASSERT_TRUE(QDir().mkpath(documents));
    const QString captures = dir.filePath(QStringLiteral("captures"));
    const QString elsewhere = dir.filePath(QStringLiteral("exports"));
    ASSERT_TRUE(QDir().mkpath(captures) && QDir().mkpath(elsewhere));

    session::ui::SessionOpener sessions(*form);
    sessions.StartFolder = [&] { return captures; };
    EXPECT_EQ(StartFolderOf([&] { sessions.Command()->trigger(); }), QDir(captures).absolutePath());

    QAction* save = Command(QStringLiteral("Save table as CSV..."));
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(StartFolderOf([&] { save->trigger(); }), QDir(documents).absolutePath()) << "nothing saved yet";
    EXPECT_EQ(StartFolderOf([&] { save->trigger(); }), QDir(documents).absolutePath()) << "a cancelled dialog changes nothing";

    const QString table = QDir(elsewhere).filePath(QStringLiteral("table.csv"));
    StartFolderOf([&] { save->trigger(); }, table);
    // Written on a thread of its own; the file appears whole, by a rename.
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return QFileInfo::exists(table); })) << "the table was saved where chosen";
    EXPECT_EQ(StartFolderOf([&] { save->trigger(); }), QDir(elsewhere).absolutePath());

    // The session window's exports go on from the same folder, and the capture window's save
    // from where an export went.
    session::ui::SessionWindow* window = nullptr;
    sessions.OnOpeningEnded = [&](const std::filesystem::path&, session::ui::SessionWindow* w) { window = w; };
    sessions.Open(std::filesystem::path(TORVANE_SESSION_FIXTURE));
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return window != nullptr; }));
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return window->GetState() == session::ui::SessionWindow::State::Ready; }));
    EXPECT_EQ(StartFolderOf([&] { window->ExportPlotButton->click(); }), QDir(elsewhere).absolutePath());
    const QString picture = QDir(captures).filePath(QStringLiteral("plot.png"));
    bool exported = false;
    window->OnExported = [&](const QString&, const QString&) { exported = true; };
    StartFolderOf([&] { window->ExportPlotButton->click(); }, picture);
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return exported; }));
    EXPECT_TRUE(QFileInfo::exists(picture));
    EXPECT_EQ(StartFolderOf([&] { save->trigger(); }), QDir(captures).absolutePath());
    window->close();
}

TEST(SaveChoiceTest, ANameWithoutSuffixGetsTheOneKindsSuffixAndAnyOtherIsKeptAsChosen) {
    using toolkit::WithSuffixIfNone;
    const QString xlsx = QStringLiteral("xlsx");
    EXPECT_EQ(WithSuffixIfNone(QStringLiteral("/tmp/whole"), xlsx), QStringLiteral("/tmp/whole.xlsx"));
    EXPECT_EQ(WithSuffixIfNone(QStringLiteral("/tmp/run.d/whole"), xlsx), QStringLiteral("/tmp/run.d/whole.xlsx"))
        << "a dot in a folder's name is no suffix";
    EXPECT_EQ(WithSuffixIfNone(QStringLiteral("/tmp/whole.xlsx"), xlsx), QStringLiteral("/tmp/whole.xlsx"));
    EXPECT_EQ(WithSuffixIfNone(QStringLiteral("/tmp/whole.XLSX"), xlsx), QStringLiteral("/tmp/whole.XLSX"));
    EXPECT_EQ(WithSuffixIfNone(QStringLiteral("/tmp/whole.csv"), xlsx), QStringLiteral("/tmp/whole.csv"))
        << "the user's own suffix is the user's choice";
}

} // namespace
