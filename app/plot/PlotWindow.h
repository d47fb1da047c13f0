#pragma once
// The "Throttle plot" window: the plot, a legend of the cars (a click hides or shows a car), the
// time span, pause/resume (Space) and the latest values per car. It repaints at most once per
// display frame, and not at all while hidden or paused.
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "app/plot/PlotCanvas.h"
#include "app/plot/PlotModel.h"
#include "app/chart/Summary.h"
#include "app/chart/qt/SummaryTable.h"

namespace plot {

class PlotWindow : public QWidget {
public:
    static constexpr int kTextIntervalMs = 200;  // numbers changing faster cannot be read
    static constexpr int kPaintShareInverse = 30;  // painting takes at most 1/30 of the main thread
    static constexpr int kSlowestFrameMs = 500;

    explicit PlotWindow(PlotModel& model, QWidget* parent = nullptr);

    // A record has been added to the model.
    void RecordAdded();
    // Brings everything shown up to date at once.
    void Refresh();

    // The latest values per car, one line each, as shown.
    QString LatestText() const;

    // Opened or closed: not minimised or restored, nor hidden along with the capture window it
    // belongs to (the program ending with it open).
    std::function<void(bool shown)> OnShownOrHidden;
    // Moved or resized while shown.
    std::function<void()> OnGeometryChanged;

    QComboBox* WindowBox = nullptr;
    QPushButton* PauseButton = nullptr;
    PlotCanvas* Canvas = nullptr;
    QListWidget* Legend = nullptr;
    QPlainTextEdit* Latest = nullptr;
    chart::SummaryTable* Summary = nullptr;  // per car, over the records held

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Frame();
    void UpdateText();
    void UpdateSummary();
    void SyncLegend();
    void ToggleCar(QListWidgetItem* item);
    int FrameIntervalMs() const;

    PlotModel& FModel;
    QTimer FFrameTimer;
    qint64 FLastFrameNs = 0;
    QTimer FTextTimer;
    QTimer FSummaryTimer;
};

// The text of the latest values of the cars the model shows.
QString LatestValuesText(const PlotModel& model);
// The per-car summary of the records the model shows (the last minute, or what it held when
// paused), in the session summary's terms.
chart::Summary SummaryOf(const PlotModel& model);

} // namespace plot
