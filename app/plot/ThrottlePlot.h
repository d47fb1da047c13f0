#pragma once
// The throttle plot beside the capture window: its model, fed from the window's decoder from the
// start (so opening it shows the last minute at once), its window, and the command that opens
// and closes it (context menu and Ctrl+G). Whether it is open, where, and its time span are
// remembered across runs.
#include <QAction>
#include <QObject>
#include <QTimer>

#include <memory>

#include "app/plot/PlotFeed.h"
#include "app/plot/PlotModel.h"
#include "app/plot/PlotWindow.h"

class TForm1;

namespace plot {

class ThrottlePlot : public QObject {
public:
    static constexpr const char* kCommandText = "Throttle plot";

    // Must go before the window does.
    explicit ThrottlePlot(TForm1& form);
    ~ThrottlePlot() override;

    void Toggle();

    PlotModel& Model() { return FModel; }
    PlotWindow& Window() { return *FWindow; }
    QAction* Command() const { return FCommand; }
    // Runs out when a move or resize of the plot has been saved.
    QTimer& GeometrySaveTimer() { return FGeometrySave; }

    // How long the plot must stay put before its place is saved (a drag moves it many times).
    static constexpr int kGeometrySaveDelayMs = 500;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Restore();
    void Save() const;

    TForm1& FForm;
    PlotModel FModel;
    std::unique_ptr<PlotWindow> FWindow;
    PlotFeed FFeed;
    QAction* FCommand = nullptr;
    QTimer FGeometrySave;
    bool FEnding = false;  // the capture window has closed: the plot's state is saved and kept
};

} // namespace plot
