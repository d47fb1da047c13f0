#pragma once
// A recorded session in a window of its own: drive and brake PWM of every car over the session's
// time, zoomed and panned at will; a cursor with the records around it in the capture table's
// columns; playback at the recorded pace; the per-car summary; export of the plot and the
// summary. The file is read on a worker thread while the window shows the progress, so the
// window stays responsive and the capture window goes on capturing.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <filesystem>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/chart/Timeline.h"
#include "app/chart/qt/SummaryTable.h"
#include "app/session/SessionData.h"
#include "app/record/TableText.h"
#include "app/session/ui/SessionCanvas.h"
#include "app/session/ui/SessionPlot.h"
#include "app/workbook/WorkbookExport.h"
#include "toolkit/qt/BackgroundJobs.h"
#include "toolkit/qt/StringGrid.h"

namespace session::ui {

class SessionWindow : public QWidget {
public:
    static constexpr int64_t kMinSpanMs = chart::Timeline::kMinSpanMs;
    static constexpr int kPlayTickMs = 20;
    static constexpr double kKeyZoom = 2.0;     // + and -

    enum class State { Loading, Ready, Failed };

    // Starts reading the file at once; parent (may be null) only ties the window's life to it.
    explicit SessionWindow(const std::filesystem::path& path, QWidget* parent = nullptr);
    ~SessionWindow() override;

    State GetState() const { return FState; }
    const std::filesystem::path& Path() const { return FPath; }
    const SessionData* Data() const { return FData.get(); }
    QString ErrorText() const { return FError; }

    // The view, the cursor (an index into the session's records: status and name rows, in file
    // order) and playback; the window shows what the model says.
    chart::Timeline& Model() { return FTimeline; }
    TimeView View() const { return FTimeline.View(); }
    void ShowWhole() { FTimeline.ShowWhole(); }
    void ZoomBy(double factor, std::optional<int64_t> aroundMs = std::nullopt) { FTimeline.ZoomBy(factor, aroundMs); }
    void ShowRange(int64_t fromMs, int64_t toMs) { FTimeline.ShowRange(fromMs, toMs); }
    void PanBy(int64_t deltaMs) { FTimeline.PanBy(deltaMs); }
    std::optional<size_t> CursorIndex() const { return FTimeline.Cursor(); }
    void SetCursor(size_t index) { FTimeline.SetCursor(index); }
    void StepCursor(int64_t records) { FTimeline.StepCursor(records); }
    void SetCursorNearTime(int64_t timeMs) { FTimeline.SetCursorNearTime(timeMs); }
    // The file's record number at the cursor (its record column); 0 without a cursor.
    uint64_t CursorRecordNumber() const { return FCursorNumber; }
    void SetPlaying(bool playing) { FTimeline.SetPlaying(playing); }
    bool Playing() const { return FTimeline.Playing(); }
    void SetSpeed(int speed);  // one of the model's speeds
    int Speed() const { return FTimeline.Speed(); }
    // Moves playback on as if elapsedMs of wall-clock time had passed (the timer calls this).
    void AdvancePlayback(int64_t elapsedMs) { FTimeline.AdvancePlayback(elapsedMs); }

    // Export. A path ending in .svg gets SVG, anything else PNG. The picture or the table is made
    // at once and written on a thread of its own; a failure shows in the export notice, which
    // holds nothing up, and OnExported is told either way.
    void ExportPlot(const QString& path);
    void ExportSummaryCsv(const QString& path);
    // Told on the window's thread when a plot or summary export has ended: why it failed, empty
    // when the file was written. May be empty.
    std::function<void(const QString& path, const QString& error)> OnExported;
    // Exports and the reading of the file that are still under way.
    size_t JobsUnderWay() const { return FJobs.Running(); }
    // The session, whole or only the time shown, as a spreadsheet workbook at path (".xlsx" added
    // to a name without a suffix). Written on a thread of its own; the outcome shows in a notice
    // that holds nothing up. False when an export is still running or the session is not read.
    bool ExportWorkbook(const QString& path, bool onlyShown);
    bool ExportingWorkbook() const { return FExportingWorkbook; }
    // The notice of the last export's outcome (null before the first).
    QMessageBox* ExportNotice() const { return FExportNotice; }
    // Asks where to save (title, file filter); empty cancels. Empty function: the file dialog.
    std::function<QString(const QString& title, const QString& filter)> AskSavePath;

    QPushButton* WholeButton = nullptr;
    QPushButton* ZoomOutButton = nullptr;
    QPushButton* ZoomInButton = nullptr;
    QPushButton* PlayButton = nullptr;
    QComboBox* SpeedBox = nullptr;
    QLabel* CursorLabel = nullptr;
    QPushButton* ExportPlotButton = nullptr;
    QPushButton* ExportSummaryButton = nullptr;
    QPushButton* ExportWorkbookButton = nullptr;  // a menu: the whole session or the time shown
    SessionCanvas* Canvas = nullptr;
    QScrollBar* ScrollBar = nullptr;
    QListWidget* Legend = nullptr;
    TStringGrid* Table = nullptr;
    chart::SummaryTable* Summary = nullptr;
    QLabel* InfoLabel = nullptr;
    QProgressBar* Progress = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateWidgets();
    void StartLoading();
    void ShowProgress(uint64_t bytesRead, uint64_t totalBytes);
    void Loaded(LoadOutcome outcome);
    void SetControlsEnabled(bool enabled);
    void ViewChanged();
    void CursorChanged();
    void PlayingChanged();
    void SyncScrollBar();
    void UpdateTable();
    void UpdateTableRows();
    std::array<QString, 6> RowCells(size_t index, uint64_t* number) const;
    void UpdateCursorLabel(size_t index, const QString& timeText);
    void FillLegend();
    void ToggleCar(QListWidgetItem* item);
    QString InfoText() const;
    void AskAndExportPlot();
    void AskAndExportSummary();
    void AskAndExportWorkbook(bool onlyShown);
    void WorkbookExported(const QString& path, const workbook::ExportResult& result);
    void SaveExport(const QString& path, const QByteArray& bytes, const QString& what);
    QString AskPath(const QString& title, const QString& filter);

    std::filesystem::path FPath;
    QString FShownPath;  // FPath as messages show it
    State FState = State::Loading;
    QString FError;
    std::shared_ptr<const SessionData> FData;
    std::string FTimeSeparator;

    std::shared_ptr<ScanControl> FControl = std::make_shared<ScanControl>();  // shared with the reading

    std::unique_ptr<SessionTimes> FTimes;
    chart::Timeline FTimeline;
    uint64_t FCursorNumber = 0;
    bool FSyncingScrollBar = false;

    bool FExportingWorkbook = false;
    QPointer<QMessageBox> FExportNotice;

    QTimer FPlayTimer;
    QElapsedTimer FPlayClock;
    toolkit::BackgroundJobs FJobs{*this};  // last: goes first, calling off what still runs
};

} // namespace session::ui
