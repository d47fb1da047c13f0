#pragma once
// The throttle check window: the car to check (the first whose drive moves, or one picked from
// the cars seen), the guided steps each with one instruction, a live trace and a progress mark,
// what a step not done in time expected and saw, a warning when too few records arrive (the
// 200 ms filter), and once the steps are done the verdict with each figure beside its threshold,
// the sweep and value-strip pictures, and the car's earlier checks with what changed, which can
// be exported, with every other check kept, as a spreadsheet workbook.
//
// Records come in at line rate and are only queued; they are judged five times a second while
// the window is shown, and not at all while it is hidden. A tick changes only what it has to:
// the trace is drawn again when the car has new records, the labels when their text changes.
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/ReceiveDecoder.h"
#include "app/check/StepGuide.h"
#include "app/check/ui/CheckReports.h"
#include "app/check/ui/ProgressMark.h"
#include "app/check/ui/TracePane.h"

namespace check::ui {

class CheckWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kJudgeIntervalMs = 200;  // five pictures a second follow a hand well enough
    static constexpr int64_t kTraceMs = 8000;      // the live trace shows this much
    static constexpr size_t kMaxKept = 200000;     // records of the car kept for the pictures
    static constexpr int kMovedBy = 8;             // a car's drive this far from its first value has moved
    static constexpr int64_t kLookBackMs = 5000;   // a car picked once it moves is judged from this far back
    static constexpr size_t kMaxLookBack = 50000;

    struct Options {
        Thresholds thresholds;
        std::vector<std::string> thresholdNotices;  // bad settings, each refused
        std::function<bool()> filterOn;             // the capture window's Filter box
        std::shared_ptr<CheckReports> reports;      // may be empty: nothing kept
    };
    explicit CheckWindow(Options options, QWidget* parent = nullptr);
    ~CheckWindow() override;

    // A status record as the table showed it; cheap, it runs at line rate.
    void Take(const ShownStatusRecord& record) { Take(Sample{record.Record.time.utcMs, record.Car, record.DrivePwm, record.BrakePwm, record.LaneChange}); }
    void Take(const Sample& sample) {
        if (FTaking) FPending.push_back(sample);
    }
    void SetUnit(const QString& unit) { FUnit = unit; }

    // Follows this car from now on, as picking it in the list does.
    void Pick(uint8_t car) {
        FUserChose = true;
        ChooseCar(car);
    }
    // Judges what has been queued now rather than at the next tick.
    void JudgeNow();
    // Checks the car from records already recorded (a session's range), without the steps.
    void CheckRecords(uint8_t car, const std::vector<Sample>& samples, const QString& source);

    std::optional<uint8_t> Car() const;
    Step CurrentStep() const { return FGuide ? FGuide->Current() : Step::Released; }
    const std::optional<CarResult>& Result() const { return FResult; }
    const Thresholds& Limits() const { return FOptions.thresholds; }
    QString WarningText() const { return Warning->text(); }
    QString HistoryText() const { return History->toPlainText(); }
    // The pictures of the last check as shown (trace, results table, sweep, value strip).
    QImage Snapshot() const;
    // The checks kept (only the car's being checked, when onlyThisCar) as a workbook at path
    // (".xlsx" added to a name without a suffix), written off the window's thread; a notice
    // that holds nothing up tells how it went. False when nothing is kept or one is being written.
    bool ExportChecks(const QString& path, bool onlyThisCar);
    QMessageBox* ExportNotice() const { return FExportNotice; }
    // Asks where to save; a file dialog unless set (tests set it).
    std::function<QString(const QString& title, const QString& filter)> AskSavePath;

    QComboBox* CarBox = nullptr;
    QPushButton* RepeatButton = nullptr;
    QPushButton* RestartButton = nullptr;
    QLabel* Warning = nullptr;
    std::array<QLabel*, 4> StepLabels{};
    QLabel* Instruction = nullptr;
    ProgressMark* Progress = nullptr;
    TracePane* Trace = nullptr;
    QLabel* StepMessage = nullptr;
    QLabel* Results = nullptr;
    QScrollArea* ResultsArea = nullptr;
    QPlainTextEdit* History = nullptr;
    QPushButton* ExportButton = nullptr;  // a menu: this car's checks or all of them

signals:
    void StepReported(int step, bool done);
    void CheckFinished();
    void ReportKept(const QString& pdfPath);
    void HistoryShown(int car);
    void ChecksExported(const QString& notice);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Judge();
    void SeeCar(const Sample& s);
    void ChooseCar(uint8_t car, bool fromRecent = false);
    void Feed(const Sample& s);
    void Finish();
    void UpdateSteps();
    void UpdateTrace();
    void UpdateWarning();
    void ShowResult(const std::vector<Sample>& samples, const std::vector<Sweep>& sweeps);
    void ShowHistory(int car, const std::vector<PastCheck>& checks);
    std::vector<Sample> SweepSpan() const;
    void AskAndExportChecks(bool onlyThisCar);
    void ChecksWritten(const QString& path, const workbook::ExportResult& result);
    void UpdateExportButton();

    Options FOptions;
    bool FTaking = false;
    std::vector<Sample> FPending;
    QTimer FJudgeTimer;
    QString FUnit;

    std::array<bool, 256> FSeen{};
    std::array<int, 256> FFirstDrive{};
    bool FUserChose = false;
    std::unique_ptr<StepGuide> FGuide;
    std::deque<Sample> FRecent;   // every car's last few seconds: a car picked is followed from before it moved
    std::deque<Sample> FSamples;  // the chosen car's since its guide began
    std::optional<CarResult> FResult;
    QImage FResultImage;
    bool FFromSession = false;
    // What the trace and the step labels show now, so a tick with nothing new redraws nothing.
    int64_t FTraceLastMs = -1;
    size_t FTraceCount = 0;
    int FTraceWidth = 0;
    int FStepsShown = -1;
    bool FExporting = false;
    QPointer<QMessageBox> FExportNotice;
};

} // namespace check::ui
