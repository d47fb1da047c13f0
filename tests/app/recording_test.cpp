// Session recording through the real window and the simulated unit: what the table showed is
// what the file holds, sessions and the command that turns them off, failures that leave the
// capture running and never block the window, the size cap's setting, the folder option,
// replay, and the table's copy and save commands.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "PtyPair.h"
#include "QtWait.h"
#include "UnitSim.h"
#include "Wait.h"
#include "app/MainForm.h"
#include "app/record/Columns.h"
#include "app/recording/qt/SessionRecording.h"
#include "app/recording/qt/TableExportCommands.h"
#include "toolkit/ErrorReport.h"

namespace {

namespace fs = std::filesystem;

using testsupport::PumpQtEvents;

template <class Pred>
bool WaitFor(Pred pred, int ms = 10000) {
    return testsupport::WaitWithQtEvents(pred, std::chrono::milliseconds(ms));
}

class SimulatedUnit {
public:
    explicit SimulatedUnit(unitsim::Options o) {
        FSim = std::make_unique<unitsim::UnitSim>(o, [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(FLogMutex);
            FLog += line + "; ";
        });
        FThread = std::thread([this] { FSim->Run(); });
    }
    ~SimulatedUnit() {
        FSim->Stop();
        FThread.join();
    }
    unitsim::UnitSim* operator->() { return FSim.get(); }
    std::string Log() {
        std::lock_guard<std::mutex> lock(FLogMutex);
        return FLog;
    }

private:
    std::mutex FLogMutex;
    std::string FLog;
    std::unique_ptr<unitsim::UnitSim> FSim;
    std::thread FThread;
};

struct SessionFile {
    std::vector<std::vector<std::string>> rows;  // header left out
    std::vector<uint32_t> StatusSequence() const {
        std::vector<uint32_t> seqs;
        for (const auto& r : rows) {
            if (r[record::kKindColumn] == "status") {
                seqs.push_back(unitsim::SequenceFromFields(std::stoi(r[record::kCarColumn]),
                                                           std::stoi(r[record::kDrivePwmColumn]),
                                                           std::stoi(r[record::kBrakePwmColumn])));
            }
        }
        return seqs;
    }
    // Kind and bytes of every record: what a replay must reproduce.
    std::vector<std::string> Records() const {
        std::vector<std::string> records;
        for (const auto& r : rows) records.push_back(r[record::kKindColumn] + " " + r[record::kBytesHexColumn]);
        return records;
    }
};

SessionFile ReadSessionFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    SessionFile file;
    EXPECT_TRUE(std::getline(in, line));
    EXPECT_EQ(line + "\n", record::HeaderRow());
    while (std::getline(in, line)) {
        auto fields = record::SplitCsvLine(line);
        EXPECT_TRUE(fields && fields->size() == record::kColumnCount) << line;
        if (!fields || fields->size() != record::kColumnCount) continue;
        EXPECT_EQ((*fields)[record::kRecordColumn], std::to_string(file.rows.size() + 1)) << "numbered in order";
        file.rows.push_back(std::move(*fields));
    }
    return file;
}

class RecordingTest : public ::testing::Test {
protected:
    fs::path dir;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<SessionRecording> recording;
    std::vector<uint32_t> shownWhileCapturing;
    std::vector<std::string> reports;  // the central error report: modal boxes in the program
    toolkit::ErrorReportSink previousSink;
    SessionRecording::Options recordingOptions;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "torvane-recording-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        setenv("TORVANE_CAPTURE_DIR", (dir / "captures").c_str(), 1);
        previousSink = toolkit::SetErrorReportSink([this](const toolkit::ErrorReportEntry& e) { reports.push_back(e.Message); });
    }
    void TearDown() override {
        recording.reset();
        form.reset();
        toolkit::SetErrorReportSink(previousSink);
        unsetenv("TORVANE_CAPTURE_DIR");
        fs::remove_all(dir);
    }
    void CreateForm(const std::string& port) {
        setenv("TORVANE_RECORDING_TEST_PORTS", port.c_str(), 1);
        recording.reset();
        form.reset();
        TForm1::Options o;
        o.portList.sysfsRoot = (dir / "no-sysfs").string();
        o.portList.extraPortsEnv = "TORVANE_RECORDING_TEST_PORTS";
        form = std::make_unique<TForm1>(o);
        SessionRecording::Options r = recordingOptions;
        if (r.settingsFile.isEmpty()) r.settingsFile = QString::fromStdString((dir / "settings.ini").string());
        recording = std::make_unique<SessionRecording>(*form, r);
        form->Table->OnSelectionChanged = [this](int, int row) {
            if (form->Start->Caption() != QLatin1String("Close")) return;
            TStringGrid* t = form->Table;
            shownWhileCapturing.push_back(
                unitsim::SequenceFromFields(t->Cell(0, row).toInt(), t->Cell(3, row).toInt(), t->Cell(4, row).toInt()));
        };
    }
    // Waits for the unit to be found, to have taken the setup command and to have named itself,
    // then clicks Start (which drops what has not been read yet), as a person at the bench would.
    void FindAndStart(SimulatedUnit& unit, uint64_t setups = 1) {
        ASSERT_TRUE(WaitFor([&] {
            return form->Start->isEnabled() && unit->SetupCommandsOk() >= setups && form->Name->text() != "Name";
        })) << unit.Log();
        form->StartClick(form->Start);
        ASSERT_EQ(form->Start->Caption(), "Close");
    }
    void Close() {
        form->StartClick(form->Start);
        recording->Recorder().Writer().WaitUntilWritten();
    }
    std::vector<fs::path> SessionFiles() const {
        std::vector<fs::path> files;
        if (!fs::exists(dir / "captures")) return files;
        for (const auto& entry : fs::directory_iterator(dir / "captures")) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }
    // A session of `count` records (a name record after every 25) sent only once Start is clicked,
    // recorded to the end; returns the file.
    fs::path RecordWholeSession(unitsim::Options o, uint64_t count) {
        o.linkPath = (dir / "unit").string();
        o.count = count;
        SimulatedUnit unit(o);
        unit->SetPaused(true);
        CreateForm(o.linkPath);
        const size_t before = SessionFiles().size();
        FindAndStart(unit);
        unit->SetPaused(false);
        EXPECT_TRUE(WaitFor([&] { return shownWhileCapturing.size() >= count; })) << shownWhileCapturing.size();
        Close();
        const auto files = SessionFiles();
        EXPECT_EQ(files.size(), before + 1);
        return recording->Recorder().Writer().LastFilePath();
    }
};

TEST_F(RecordingTest, TheFileHoldsExactlyTheRecordsTheTableShowedWithANameRecordMidSession) {
    unitsim::Options o;
    o.recordsPerSecond = 400;
    o.nameEvery = 25;
    o.unitId = 9;
    o.name = "BENCH 1";
    const fs::path path = RecordWholeSession(o, 160);
    EXPECT_EQ(path.filename().string().substr(19), "_unit9_BENCH_1.csv");
    const SessionFile file = ReadSessionFile(path);
    const std::vector<uint32_t> recorded = file.StatusSequence();
    EXPECT_EQ(recorded, shownWhileCapturing);
    ASSERT_EQ(recorded.size(), 160u);
    for (uint32_t i = 0; i < recorded.size(); ++i) ASSERT_EQ(recorded[i], i) << "none missing, none repeated";
    size_t names = 0;
    for (const auto& r : file.rows) {
        EXPECT_EQ(r[record::kUnitIdColumn], "9");
        EXPECT_EQ(r[record::kUnitNameColumn], "BENCH 1");
        if (r[record::kKindColumn] == "name") {
            ++names;
            EXPECT_EQ(r[record::kBytesHexColumn], "4e 09 42 45 4e 43 48 20 31 00");
        }
    }
    EXPECT_EQ(names, 6u) << "one after every 25 status records";
    EXPECT_TRUE(reports.empty());
}

TEST_F(RecordingTest, RecordThenReplayThenRecordAgainGivesTheSameRecords) {
    unitsim::Options o;
    o.recordsPerSecond = 400;
    o.nameEvery = 40;
    o.escapeAll = true;
    const fs::path first = RecordWholeSession(o, 130);

    unitsim::Options replay;
    replay.replayPath = first.string();
    replay.replaySpeed = 4;
    replay.linkPath = (dir / "replay").string();
    SimulatedUnit unit(replay);
    unit->SetPaused(true);
    shownWhileCapturing.clear();
    CreateForm(replay.linkPath);
    FindAndStart(unit);
    EXPECT_EQ(form->Name->text(), "SIM-UNIT") << "the replay names the recorded unit";
    unit->SetPaused(false);
    ASSERT_TRUE(WaitFor([&] { return unit.Log().find("replay-done") != std::string::npos; })) << unit.Log();
    ASSERT_TRUE(WaitFor([&] { return shownWhileCapturing.size() >= 130; }));
    Close();
    const fs::path second = recording->Recorder().Writer().LastFilePath();
    ASSERT_NE(first, second);
    EXPECT_EQ(ReadSessionFile(second).Records(), ReadSessionFile(first).Records());
    EXPECT_EQ(unit.Log().find("replay-done 133 records, 0 rows skipped"), unit.Log().find("replay-done")) << unit.Log();
}

TEST_F(RecordingTest, StartAndCloseTwiceGiveTwoFilesAndRecordingOffGivesNone) {
    unitsim::Options o;
    o.recordsPerSecond = 200;
    o.linkPath = (dir / "unit").string();
    SimulatedUnit unit(o);
    CreateForm(o.linkPath);
    for (uint64_t session = 1; session <= 2; ++session) {
        FindAndStart(unit, session);
        ASSERT_TRUE(WaitFor([&] { return shownWhileCapturing.size() >= 5 * session; }));
        Close();
        EXPECT_EQ(SessionFiles().size(), session);
    }
    EXPECT_TRUE(recording->RecordSessions());
    recording->RecordAction()->trigger();  // the command, as Ctrl+R runs it
    EXPECT_FALSE(recording->RecordSessions());
    EXPECT_FALSE(QSettings(QString::fromStdString((dir / "settings.ini").string()), QSettings::IniFormat)
                     .value(SessionRecording::kRecordSessionsKey)
                     .toBool())
        << "the choice is kept";
    const size_t shown = shownWhileCapturing.size();
    FindAndStart(unit, 3);
    ASSERT_TRUE(WaitFor([&] { return shownWhileCapturing.size() >= shown + 5; }));
    Close();
    EXPECT_EQ(SessionFiles().size(), 2u);

    // The next window starts with recording off.
    CreateForm(o.linkPath);
    EXPECT_FALSE(recording->RecordSessions());
    EXPECT_TRUE(reports.empty());
}

TEST_F(RecordingTest, ACaptureFolderThatCannotBeWrittenIsToldOnceAndCaptureGoesOn) {
    std::ofstream(dir / "a-file") << "not a folder";
    setenv("TORVANE_CAPTURE_DIR", (dir / "a-file" / "captures").c_str(), 1);
    unitsim::Options o;
    o.recordsPerSecond = 200;
    o.linkPath = (dir / "unit").string();
    SimulatedUnit unit(o);
    CreateForm(o.linkPath);
    FindAndStart(unit);
    ASSERT_TRUE(WaitFor([&] { return !recording->Notice().isEmpty(); }));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    const size_t shown = shownWhileCapturing.size();
    ASSERT_TRUE(WaitFor([&] { return shownWhileCapturing.size() >= shown + 20; })) << "the table keeps capturing";
    Close();
    PumpQtEvents();
    const std::string notice = recording->Notice().toStdString();
    EXPECT_NE(notice.find((dir / "a-file" / "captures").string()), std::string::npos) << notice;
    EXPECT_NE(notice.find("Not a directory"), std::string::npos) << notice;
    EXPECT_EQ(recording->Notice().count(QStringLiteral("Session recording stopped")), 1) << notice;
    EXPECT_TRUE(reports.empty()) << "no box";
}

TEST_F(RecordingTest, NothingTheUnitSendsBreaksARowOrReachesAFileNameUnsanitised) {
    testsupport::PtyPair unused;
    CreateForm(unused.SlavePath());
    form->Timer1->stop();
    auto feed = [this](const std::string& stream) {
        size_t pos = 0;
        form->Rx.ReceiveBytes(static_cast<int32_t>(stream.size()), [&](uint8_t& b) {
            b = static_cast<uint8_t>(stream[pos++]);
            return true;
        });
    };
    // The unit names itself with a path before Start: the file is named after it, safely.
    feed(unitsim::EncodeLine(std::string("N\x03../..\\\xFF\x00\x00", 10), false));
    form->Start->setEnabled(true);
    form->StartClick(form->Start);
    std::string longRecord = "S";
    for (int i = 0; i < 299; ++i) longRecord += static_cast<char>(i & 0xFF);
    const std::vector<std::string> records = {
        "S",
        longRecord,
        "N\x07" + std::string(8, '\xFF'),
        std::string("N\x08\0\0\0\0\0\0\0\0", 10),
    };
    feed("garbage\r\r\x01\x02!");  // and a line ending in an escape byte...
    feed("\r");                       // ...whose line end is a payload byte
    feed("\r");
    for (const std::string& record : records) feed(unitsim::EncodeLine(record, false) + "junk\r");
    Close();
    const auto files = SessionFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].parent_path(), dir / "captures");
    EXPECT_EQ(files[0].filename().string().substr(19), "_unit3________.csv");
    const SessionFile file = ReadSessionFile(files[0]);
    ASSERT_EQ(file.rows.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        std::string bytes;
        EXPECT_TRUE(record::HexDecode(file.rows[i][record::kBytesHexColumn], &bytes)) << i;
        EXPECT_EQ(bytes, records[i]) << i;
    }
    EXPECT_EQ(file.rows[0][record::kCarColumn], "0") << "a one-byte record reads its missing bytes as 0";
    EXPECT_EQ(file.rows[1][record::kUnitNameColumn], "../..\\\xC3\xBF");
    EXPECT_EQ(file.rows[2][record::kUnitNameColumn], "\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF");
    EXPECT_EQ(file.rows[3][record::kUnitIdColumn], "8");
    EXPECT_EQ(file.rows[3][record::kUnitNameColumn], "");
}

TEST_F(RecordingTest, CtrlCCopiesAndCtrlSSavesTheTableWhateverHasFocus) {
    testsupport::PtyPair unused;
    CreateForm(unused.SlavePath());
    form->Timer1->stop();
    fs::path saved = dir / "table.csv";
    TableExportOptions options;
    options.askSavePath = [&] { return QString::fromStdString(saved.string()); };
    QStringList ended;
    options.saved = [&](const QString&, const QString& error) { ended << error; };
    InstallTableExportCommands(*form, options);
    const std::string stream = unitsim::EncodeLine(unitsim::StatusPayload(0x2A), false);
    size_t pos = 0;
    form->Rx.ReceiveBytes(static_cast<int32_t>(stream.size()), [&](uint8_t& b) {
        b = static_cast<uint8_t>(stream[pos++]);
        return true;
    });
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->TID->setFocus();
    ASSERT_TRUE(WaitFor([&] { return form->TID->hasFocus(); }));
    QApplication::clipboard()->clear();
    QTest::keyClick(form->TID, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith("Car\tTime\tLast LB\tDrive PWM\tBrake PWM\tLane Change\n42\t")) << copied.toStdString();
    EXPECT_EQ(copied.count('\n'), 32);

    QTest::keyClick(form->TID, Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(WaitFor([&] { return ended.size() == 1; }));
    EXPECT_EQ(ended[0], QString());
    std::ifstream in(saved, std::ios::binary);
    std::string header;
    std::string first;
    ASSERT_TRUE(std::getline(in, header) && std::getline(in, first));
    EXPECT_EQ(header, "Car,Time,Last LB,Drive PWM,Brake PWM,Lane Change");
    EXPECT_EQ(first.substr(0, 3), "42,");
    EXPECT_EQ(first.substr(first.size() - 13), ",3 L*,0,0,Yes");
}

// A FIFO chosen as the file would wait for a reader, and a save through a temporary file would
// put a file in its place: it is refused by its kind, the window answering throughout.
TEST_F(RecordingTest, SavingTheTableToAFifoIsRefusedByItsKindAndLeavesTheFifo) {
    testsupport::PtyPair unused;
    CreateForm(unused.SlavePath());
    form->Timer1->stop();
    const fs::path fifo = dir / "table.csv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TableExportOptions options;
    options.askSavePath = [&] { return QString::fromStdString(fifo.string()); };
    QStringList ended;
    options.saved = [&](const QString&, const QString& error) { ended << error; };
    InstallTableExportCommands(*form, options);
    QAction* save = nullptr;
    for (QAction* a : form->actions()) {
        if (a->text() == QStringLiteral("Save table as CSV...")) save = a;
    }
    ASSERT_NE(save, nullptr);
    save->trigger();
    ASSERT_TRUE(WaitFor([&] { return ended.size() == 1; }));
    EXPECT_TRUE(ended[0].contains(QStringLiteral("it is a FIFO, not a file"))) << ended[0].toStdString();
    EXPECT_TRUE(fs::is_fifo(fifo)) << "left as it was";
}

// Creates session files only once the gate lets the writer through, as a writer that has fallen
// behind is held.
recording::FileOpener GatedOpener(testsupport::Gate& gate) {
    return [&gate](const fs::path& path) {
        gate.Pass();
        return std::fopen(path.c_str(), "wbx");
    };
}

// Counts the records the decoder offers a session while one is on: what was shown and should be
// in the file or counted as not recorded.
class SessionRecordCount : public RecordObserver {
public:
    explicit SessionRecordCount(const recording::SessionRecorder& recorder) : FRecorder(recorder) {}
    void StatusShown(const ShownStatusRecord&) override { Count(); }
    void NameReceived(const ReceivedNameRecord&) override { Count(); }
    uint64_t count = 0;

private:
    void Count() {
        if (FRecorder.InSession()) ++count;
    }
    const recording::SessionRecorder& FRecorder;
};

uint64_t NumberAfter(const std::string& text, const std::string& marker) {
    const size_t at = text.rfind(marker);
    return at == std::string::npos ? UINT64_MAX : std::stoull(text.substr(at + marker.size()));
}

TEST_F(RecordingTest, AWriterFallingBehindAFloodNeverBlocksTheWindowAndCountsWhatItMissed) {
    testsupport::Gate gate;
    recordingOptions.opener = GatedOpener(gate);
    recordingOptions.maxQueuedRecords = 200;
    unitsim::Options o;
    o.flood = true;
    o.linkPath = (dir / "unit").string();
    SimulatedUnit unit(o);
    CreateForm(o.linkPath);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    SessionRecordCount offered(recording->Recorder());
    form->Rx.AddObserver(&offered);
    FindAndStart(unit);
    ASSERT_TRUE(WaitFor([&] { return !recording->Notice().isEmpty(); }));
    std::string notice = recording->Notice().toStdString();
    EXPECT_NE(notice.find("records arrived faster than they could be written: 200 records were waiting"),
              std::string::npos)
        << notice;
    EXPECT_EQ(notice.find("disk"), std::string::npos) << "the disk is not what fell behind: " << notice;
    ASSERT_NE(recording->NoticeBox(), nullptr);
    EXPECT_FALSE(recording->NoticeBox()->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // Close, clicked as a person clicks it, closes the port and searches again.
    const size_t shown = shownWhileCapturing.size();
    ASSERT_TRUE(WaitFor([&] { return shownWhileCapturing.size() > shown + 100; })) << "the table goes on";
    QTest::mouseClick(form->Start, Qt::LeftButton);
    EXPECT_EQ(form->Start->Caption(), "Start");
    EXPECT_FALSE(form->Start->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return form->Start->isEnabled() && unit->SetupCommandsOk() >= 2; })) << unit.Log();

    // The writer catches up: the queued records are in the file, the rest are counted.
    gate.Release();
    recording->Recorder().Writer().WaitUntilWritten();
    ASSERT_TRUE(WaitFor([&] { return recording->Notice().contains(QStringLiteral("until the session ended")); }));
    notice = recording->Notice().toStdString();
    const SessionFile file = ReadSessionFile(recording->Recorder().Writer().LastFilePath());
    // The full queue, plus the first rows the writer had already taken when the opening held it
    // (how many depends on how soon the writer ran): never more than the queue's bound twice.
    EXPECT_GE(file.rows.size(), 200u);
    EXPECT_LE(file.rows.size(), 400u);
    EXPECT_EQ(NumberAfter(notice, "Records not recorded: "), offered.count - file.rows.size()) << notice;
    EXPECT_EQ(recording->Notice().count(QStringLiteral("Session recording stopped")), 1) << "replaced, not stacked";

    // The window closes with the notice up, and that ends the program's event loop: the notice
    // is no window of its own that would keep it running. (The guard only keeps a broken build
    // from hanging; still pending, it was not what ended the loop.)
    form->Rx.RemoveObserver(&offered);
    ASSERT_TRUE(recording->NoticeBox()->isVisible());
    QTimer::singleShot(0, form.get(), [this] { form->close(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
    guard.start(60000);
    QApplication::exec();
    EXPECT_TRUE(guard.isActive()) << "closing the window ended the program";
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->VaComm1->Active());
    EXPECT_TRUE(reports.empty()) << "no box";
}

TEST_F(RecordingTest, ACapTooSmallForASessionIsRefusedWithAMessageAndNothingIsDeleted) {
    fs::create_directories(dir / "captures");
    const fs::path older = dir / "captures" / "2026-01-01_00-00-00_unit5_SIM-UNIT.csv";
    std::ofstream(older) << record::HeaderRow();
    QSettings(QString::fromStdString((dir / "settings.ini").string()), QSettings::IniFormat)
        .setValue(SessionRecording::kSizeCapKey, 1);
    unitsim::Options o;
    o.recordsPerSecond = 400;
    const fs::path path = RecordWholeSession(o, 20);
    PumpQtEvents();
    const std::string notice = recording->Notice().toStdString();
    EXPECT_NE(notice.find("Recording/FolderSizeCapBytes=1"), std::string::npos) << notice;
    EXPECT_NE(notice.find("below 67108864 bytes"), std::string::npos) << notice;
    EXPECT_NE(notice.find("The default, 2147483648 bytes, is used; nothing was deleted."), std::string::npos) << notice;
    EXPECT_TRUE(fs::exists(older));
    EXPECT_EQ(ReadSessionFile(path).StatusSequence().size(), 20u) << "recorded under the default cap";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(reports.empty());
}

TEST_F(RecordingTest, TheCaptureFolderOptionComesBeforeTheEnvironment) {
    recordingOptions.captureDir = dir / "from option";
    unitsim::Options o;
    o.recordsPerSecond = 400;
    o.linkPath = (dir / "unit").string();
    SimulatedUnit unit(o);
    CreateForm(o.linkPath);
    FindAndStart(unit);
    ASSERT_TRUE(WaitFor([&] { return shownWhileCapturing.size() >= 5; }));
    Close();
    EXPECT_EQ(recording->Recorder().Writer().LastFilePath().parent_path(), dir / "from option");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "from option"), fs::directory_iterator()), 1);
    EXPECT_TRUE(SessionFiles().empty()) << "nothing in TORVANE_CAPTURE_DIR";
}

TEST_F(RecordingTest, AFolderRenamedWhileCapturingIsToldAndTheFileStaysWhole) {
    unitsim::Options o;
    o.recordsPerSecond = 400;
    o.count = 40;
    o.linkPath = (dir / "unit").string();
    SimulatedUnit unit(o);
    unit->SetPaused(true);
    CreateForm(o.linkPath);
    FindAndStart(unit);
    unit->SetPaused(false);
    ASSERT_TRUE(WaitFor([&] { return shownWhileCapturing.size() >= 10; }));
    recording->Recorder().Writer().WaitUntilWritten();
    fs::rename(dir / "captures", dir / "renamed");
    ASSERT_TRUE(WaitFor([&] { return shownWhileCapturing.size() >= 40; }));
    Close();
    PumpQtEvents();
    const std::string notice = recording->Notice().toStdString();
    EXPECT_NE(notice.find("the captures folder was moved or renamed"), std::string::npos) << notice;
    EXPECT_NE(notice.find((fs::canonical(dir / "renamed")).string()), std::string::npos) << notice;
    EXPECT_EQ(notice.find("stopped"), std::string::npos) << notice;
    const auto files = std::vector<fs::path>(fs::directory_iterator(dir / "renamed"), fs::directory_iterator());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(ReadSessionFile(files[0]).StatusSequence(), shownWhileCapturing);
}

} // namespace
