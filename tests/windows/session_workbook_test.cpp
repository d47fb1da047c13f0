// The session window's "Export to Excel..." on Windows: a session named outside the ANSI code page,
// opened in its window, exported to a workbook so named in a folder so named (".xlsx" added), off
// the window's thread, with the outcome told in a notice that names the file as chosen.
#include <gtest/gtest.h>

#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "app/session/ui/SessionOpening.h"
#include "app/session/ui/SessionWindow.h"
#include "toolkit/qt/FileName.h"
#include "../support/QtWait.h"

namespace {

using session::ui::SessionOpener;
using session::ui::SessionWindow;

TEST(SessionWindowWorkbook, ExportsToANameOutsideTheAnsiCodePage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("\u0414\u0430\u043d\u043d\u044b\u0435 \u03bc\u03b5\u03c4\u03c1\u03ae\u03c3\u03b5\u03b9\u03c2"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString session = folder + QStringLiteral("/\u0441\u0435\u0441\u0441\u0438\u044f.csv");
    std::ofstream(toolkit::PathFromText(session), std::ios::binary)
        << "time,record,kind,car,last_lb,last_lb_text,drive_pwm,brake_pwm,lane_change,unit_id,unit_name,bytes_hex\n"
           "2026-12-07T09:43:51.123+01:00,1,status,7,111,no LB yet,12,0,0,5,SIM,53 00\n"
           "2026-12-07T09:43:51.153+01:00,2,status,8,111,no LB yet,200,3,1,5,SIM,53 01\n"
           "2026-12-07T09:43:52.456+01:00,3,status,7,111,no LB yet,99,1,0,5,SIM,53 02\n";

    TForm1::Options options;
    options.portList.extraPortsEnv = "TORVANE_SESSION_WORKBOOK_TEST_NO_PORTS";
    auto form = std::make_unique<TForm1>(options);
    auto opener = std::make_unique<SessionOpener>(*form);
    QStringList errors;
    opener->ShowError = [&](const QString& message) { errors << message; };
    bool ended = false;
    SessionWindow* opened = nullptr;
    opener->OnOpeningEnded = [&](const std::filesystem::path&, SessionWindow* w) {
        ended = true;
        opened = w;
    };
    opener->Open(toolkit::PathFromText(session));
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return ended; }));
    ASSERT_NE(opened, nullptr) << errors.join(QLatin1Char('\n')).toStdString();
    const QPointer<SessionWindow> w(opened);
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return w.isNull() || w->GetState() != SessionWindow::State::Loading; }));
    ASSERT_FALSE(w.isNull());
    ASSERT_EQ(w->GetState(), SessionWindow::State::Ready);

    const QString chosen = folder + QStringLiteral("/\u6e2c\u5b9a M\u00e4rz");
    ASSERT_TRUE(w->ExportWorkbook(chosen, false));
    ASSERT_TRUE(testsupport::WaitWithQtEvents(
        [&] { return !w->ExportingWorkbook() && w->ExportNotice() != nullptr && w->ExportNotice()->isVisible(); }));
    const QString notice = w->ExportNotice()->text();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("3 records exported to "))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QDir::toNativeSeparators(chosen + QStringLiteral(".xlsx")))) << notice.toStdString();
    std::ifstream book(toolkit::PathFromText(chosen + QStringLiteral(".xlsx")), std::ios::binary);
    std::string start(2, '\0');
    book.read(start.data(), 2);
    EXPECT_EQ(start, "PK");
    book.close();

    opener.reset();  // before the window it serves
    form.reset();
}

} // namespace
