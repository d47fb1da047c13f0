#pragma once
// The capture window: the table of status records, the port being probed, the unit's identifier
// and name, and the Start/Close button. Its behaviour lives in five handlers on the main thread.
#include <QAction>
#include <QComboBox>
#include <QCheckBox>
#include <QLineEdit>
#include <QStringList>
#include <QTimer>
#include <QKeySequence>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CellTextCache.h"
#include "app/PortNotice.h"
#include "app/ProbeOpener.h"
#include "app/ProbeOutcomes.h"
#include "app/ReceiveDecoder.h"
#include "controls/JvTransparentButton.h"
#include "controls/NumEdit.h"
#include "serial/VaComm.h"
#include "toolkit/PortList.h"
#include "toolkit/qt/StringGrid.h"

class TForm1 : public QWidget, private CaptureView {
public:
    struct Options {
        toolkit::SerialPortListOptions portList;
        ReceiveDecoder::ClockFn clock = toolkit::Now;
        // How long the search waits for a port's open before it moves on to the next port.
        std::chrono::milliseconds probeOpenDeadline = ProbeOpener::kDefaultDeadline;
    };

    TForm1();
    explicit TForm1(const Options& options);
    ~TForm1() override;

    // Components, in their design order.
    std::unique_ptr<TVaComm> VaComm1;
    QComboBox* Ports = nullptr;
    TJvTransparentButton* Start = nullptr;
    QTimer* Timer1 = nullptr;
    TStringGrid* Table = nullptr;
    QLineEdit* CName = nullptr;
    QCheckBox* Ding = nullptr;
    QCheckBox* Filter = nullptr;
    TNumEdit* Length = nullptr;
    TNumEdit* TID = nullptr;
    QLineEdit* Name = nullptr;

    // Handlers.
    void FormCreate(QObject* Sender);
    void Timer1Find(QObject* Sender);
    void StartClick(QObject* Sender);
    void ComPortRxChar(toolkit::TObject* Sender, int32_t Count);
    void FormClose(QObject* Sender);

    // Commands beyond the window's design (recording, plot, ...): actions on the window, listed in
    // its context menu, each with a window-wide shortcut; the design's components stay as they are.
    QAction* AddCommand(const QString& text, const QKeySequence& shortcut, const std::function<void()>& run);
    // Told when capture begins (Start) and once it has ended (Close, the unit gone, the window
    // closing): after the port has closed, so records it delivered while closing belong to it.
    void AddCaptureListener(const std::function<void(bool capturing)>& listener);

    // A probe's open is under way on the opener's thread; the search's ticks wait for it.
    bool ProbeOpenPending() const { return FProbeOpener->Pending(); }

    // The window's own state.
    int32_t PortIndex = 0;
    QStringList ValueNames;
    QStringList PortNames;
    ReceiveDecoder Rx;  // DeviceFound, EscapeState, RxLine, LastStatusTime, RowCounter

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateComponents();
    // The window on a screen too small for its design: placed inside, the table's rows lowered.
    void FitToScreen(const QRect& available, const QMargins& frame);
    QSize ClientShowingAllRows() const;
    void LayOutTable();
    void ConfigureVaComm1();
    void RunHandler(const std::function<void()>& handler);
    void ShowProbeOutcomes();
    QStringList PortItems() const;
    void ReturnToAnsweredPort(const QString& port);
    // Opens the device VaComm1 names off the window's thread; ProbeOpenEnded goes on from there.
    // returning: the port of an answer that came while it closed, opened again without a probe.
    void StartProbeOpen(const std::string& port, bool returning);
    void ProbeOpenEnded();
    void GiveUpProbeOpen();
    void PortGone();
    // The unit's port kept failing while still listed: said once, then closed and searched again.
    void PortFailed(int error);
    void TellCaptureListeners(bool capturing);
    void UnitWentAway();
    // False when the write failed and the tick must end there.
    bool WriteSetupCommand(const std::string& command);
    static bool MeansPortGone(int error);

    // CaptureView
    void SetCell(int col, int row, const std::string& text) override;
    void SelectCell(int col, int row) override;
    void SetUnitId(double value) override;
    void SetUnitName(const std::string& text) override;
    bool FilterChecked() const override;

    Options FOptions;
    toolkit::SerialPortScanner FPortScanner;
    std::optional<std::vector<std::string>> FListedPorts;  // as the last FormCreate listed them
    bool FPortSelectionSet = false;  // the last port and the box's text selected for this list
    toolkit::SerialPortStableNamer FStableNamer;
    ProbeOutcomes FProbeOutcomes;
    std::unique_ptr<ProbeOpener> FProbeOpener;
    std::string FProbeOpenPort;         // the port of the pending open
    bool FProbeOpenReturning = false;   // it goes back to the port that answered
    std::optional<uint64_t> FShownProbeRevision;  // of the outcomes the port box's tip shows
    std::vector<std::function<void(bool)>> FCaptureListeners;
    bool FSetupFailureReported = false;  // since the search began
    CellTextCache FCellTexts;  // every column but the time, whose texts do not recur
    PortNotice FPortNotice{*this};
};
