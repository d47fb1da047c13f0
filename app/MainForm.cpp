#include "MainForm.h"

#include <QCloseEvent>
#include <QFont>
#include <QFontMetrics>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "serial/platform/SerialDevice.h"
#include "toolkit/ErrorReport.h"
#include "toolkit/qt/FileName.h"
#include "toolkit/qt/ScreenFit.h"

namespace {
const QString kHeaders[] = {QStringLiteral("Car"),       QStringLiteral("Time"),      QStringLiteral("Last LB"),
                            QStringLiteral("Drive PWM"), QStringLiteral("Brake PWM"), QStringLiteral("Lane Change")};
const int kColumnWidths[] = {72, 197, 72, 72, 72, 72};
const QColor kClSkyBlue(166, 202, 240);
const QPoint kDesignPos(600, 190);
const QSize kDesignClient(602, 738);
const QRect kDesignTable(8, 56, 569, 681);
const int kBelowTable = kDesignClient.height() - kDesignTable.bottom() - 1;
// The edit box keeps this much room on either side of its text, frame or not.
constexpr int kLineEditInnerMargin = 2;

// The component formats its device name as a template with one number in it; a port path is
// never a template, so any percent sign in it is doubled to stand for itself.
std::string DeviceNameForPort(const std::string& port) {
    // DeviceName is a template: a '%' in the path must stay a '%'.
    return vautils::EscapePercent(toolkit::PortNameToDevicePath(port));
}
} // namespace

TForm1::TForm1() : TForm1(Options{}) {}

TForm1::TForm1(const Options& options)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      Rx(*this, options.clock),
      FOptions(options),
      FPortScanner(options.portList),
      FStableNamer(options.portList) {
    // Told on the opener's thread: the result is taken on the window's, in order with its events.
    FProbeOpener = std::make_unique<ProbeOpener>(
        [this] { QMetaObject::invokeMethod(this, [this] { RunHandler([this] { ProbeOpenEnded(); }); }, Qt::QueuedConnection); },
        options.probeOpenDeadline);
    CreateComponents();
    RunHandler([this] { FormCreate(this); });
}

TForm1::~TForm1() {
    // The port (and its event thread) goes before the widgets its handlers write to. A delivery
    // already handed over still runs while the port closes: the handlers are detached first, as
    // the window they would write to is going.
    VaComm1->OnRxChar = nullptr;
    VaComm1->OnHangup = nullptr;
    VaComm1->OnPortFailure = nullptr;
    VaComm1.reset();
}

void TForm1::CreateComponents() {
    setWindowTitle(QStringLiteral("Torvane Data Capture on Channel 25"));
    move(kDesignPos);
    // Sizeable, with no maximise box. The components keep their design places: the table shows
    // all its rows and columns at the design size, so a larger window would only give it empty
    // cells. A smaller one lowers the table's rows, down to the height of their text.
    resize(kDesignClient);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kClSkyBlue);
    setPalette(pal);
    setAutoFillBackground(true);
    // The design's face is not on Linux; a metric-compatible sans keeps texts within their cells.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);

    VaComm1 = std::make_unique<TVaComm>();
    ConfigureVaComm1();

    Ports = new QComboBox(this);
    Ports->setGeometry(16, 8, 65, 21);
    Ports->setEditable(true);
    Ports->setEditText(QStringLiteral("Ports"));
    Ports->setVisible(false);

    Start = new TJvTransparentButton(this);
    Start->setGeometry(112, 8, 73, 27);
    Start->SetCaption(QStringLiteral("Start"));
    Start->SetBorderWidth(3);
    Start->SetHotTrackFont(TJvFont{this->font(), SystemColor(this, TSystemColor::clWindowText)});
    Start->SetTransparent(false);
    Start->setEnabled(false);
    Start->OnClick = [this](QObject* sender) { RunHandler([this, sender] { StartClick(sender); }); };

    Timer1 = new QTimer(this);
    Timer1->setInterval(20);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, [this] {
        const auto began = std::chrono::steady_clock::now();
        RunHandler([this] { Timer1Find(Timer1); });
        // The next tick comes a whole interval after this one ended, not at once: a probe that
        // first closed the previous port spends 300 ms, and the unit needs the interval to answer.
        // A tick over within a millisecond keeps the timer's rhythm; restarting the timer after
        // every tick of a long search would cost more than the tick.
        constexpr auto kLongTick = std::chrono::milliseconds(1);
        if (Timer1->isActive() && std::chrono::steady_clock::now() - began >= kLongTick) Timer1->start();
    });

    Table = new TStringGrid(this);
    Table->setGeometry(kDesignTable);
    Table->SetColCount(6);
    Table->SetRowCount(32);
    Table->SetDefaultColWidth(72);
    Table->SetDefaultRowHeight(20);
    for (int c = 0; c < 6; ++c) Table->SetColWidth(c, kColumnWidths[c]);
    Table->setEnabled(false);

    CName = new QLineEdit(this);
    CName->setGeometry(16, 8, 65, 21);
    CName->setReadOnly(true);
    CName->setFocusPolicy(Qt::NoFocus);

    Ding = new QCheckBox(QStringLiteral("Ding"), this);
    Ding->setGeometry(232, 8, 49, 17);
    Ding->setVisible(false);

    Filter = new QCheckBox(QStringLiteral("Filter"), this);
    Filter->setGeometry(304, 8, 49, 17);
    Filter->setVisible(false);

    Length = new TNumEdit(this);
    Length->setGeometry(359, 8, 41, 21);
    Length->setText(QStringLiteral("4.71"));
    Length->SetValue(4.71);
    Length->SetDecimals(2);
    Length->setVisible(false);

    TID = new TNumEdit(this);
    TID->setGeometry(406, 8, 19, 21);
    TID->setText(QStringLiteral("0"));
    TID->SetValue(0.0);
    TID->SetDecimals(0);
    // The box is 19 pixels wide by design, for a narrower font than this system has; with the
    // toolkit's frame and margins an identifier of three digits would scroll out of sight ("255"
    // showing as "55"). A flat box, widened into the gap before Name only as far as the digits
    // need, keeps all three in view.
    TID->setFrame(false);
    const int digitsWidth = QFontMetrics(TID->font()).horizontalAdvance(QStringLiteral("255")) + 2 * kLineEditInnerMargin + 1;
    TID->resize(qBound(19, digitsWidth, 431 - 406), TID->height());

    Name = new QLineEdit(this);
    Name->setGeometry(431, 8, 66, 21);
    Name->setText(QStringLiteral("Name"));

    // The table is disabled by design, so a right click on it reaches the window: its commands.
    setContextMenuPolicy(Qt::ActionsContextMenu);

    // Tab order: Ports, Table, CName, Ding, Filter, Length, TID, Name.
    QWidget* order[] = {Ports, Table, CName, Ding, Filter, Length, TID, Name};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    setMinimumSize(ClientShowingAllRows());
    toolkit::FitToScreenWhenShown(*this, [this](const QRect& available, const QMargins& frame) {
        FitToScreen(available, frame);
    });
}

void TForm1::FitToScreen(const QRect& available, const QMargins& frame) {
    const toolkit::WindowPlace place = toolkit::FitWindow(kDesignPos, kDesignClient, available, frame);
    // Narrower than the design only on a screen narrower than it: the columns are never cut by choice.
    setMinimumSize(ClientShowingAllRows().boundedTo(place.Client));
    toolkit::PlaceWindow(*this, place, frame);
}

QSize TForm1::ClientShowingAllRows() const {
    return {kDesignClient.width(), kDesignTable.top() + Table->HeightShowingAllRows() + kBelowTable};
}

void TForm1::LayOutTable() {
    const int tableHeight = std::clamp(height() - kDesignTable.top() - kBelowTable, 0, kDesignTable.height());
    if (Table->height() != tableHeight) Table->resize(kDesignTable.width(), tableHeight);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutTable();
}

void TForm1::ConfigureVaComm1() {
    // The stored design's values, in the order loading sets them; the rest keep their defaults.
    TVaComm& c = *VaComm1;
    c.SetName("VaComm1");
    c.SetBaudrate(brUser);
    c.SetStopbits(sb2);
    c.EventChars().SetEventChar(13);
    c.EventChars().SetEofChar(13);
    c.FlowControl().SetOutCtsFlow(false);
    c.FlowControl().SetOutDsrFlow(false);
    c.FlowControl().SetControlDtr(dtrDisabled);
    c.FlowControl().SetControlRts(rtsDisabled);
    c.FlowControl().SetXonXoffOut(false);
    c.FlowControl().SetXonXoffIn(false);
    c.FlowControl().SetDsrSensitivity(false);
    c.FlowControl().SetTxContinueOnXoff(false);
    c.SetPortNum(5);
    c.SetDeviceName("COM%d");
    c.SetMonitorEvents({ceRxChar});
    c.SetEventPriority(tpHighest);
    c.SetDirectWrite(true);
    c.SetUserBaudrate(500000);
    c.OnRxChar = [this](toolkit::TObject* sender, int32_t count) { ComPortRxChar(sender, count); };
    // Not part of the stored design: the unit's port going away (unplugged). Handled after the
    // delivery has returned, since closing the port waits for the thread that delivers it.
    c.OnHangup = [this](toolkit::TObject*) { QTimer::singleShot(0, this, [this] { RunHandler([this] { PortGone(); }); }); };
    c.OnPortFailure = [this](toolkit::TObject*, int32_t error) {
        QTimer::singleShot(0, this, [this, error] { RunHandler([this, error] { PortFailed(error); }); });
    };
    c.SetVersion("1.3.8.0");
    c.Loaded();
}

QAction* TForm1::AddCommand(const QString& text, const QKeySequence& shortcut, const std::function<void()>& run) {
    auto* action = new QAction(text, this);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, run] { RunHandler(run); });
    addAction(action);
    return action;
}

void TForm1::AddCaptureListener(const std::function<void(bool)>& listener) { FCaptureListeners.push_back(listener); }

void TForm1::TellCaptureListeners(bool capturing) {
    for (const auto& listener : FCaptureListeners) listener(capturing);
}

void TForm1::RunHandler(const std::function<void()>& handler) { toolkit::RunReportingErrors(nullptr, handler); }

void TForm1::FormCreate(QObject*) {
    if (Start->isEnabledTo(this)) Start->setEnabled(false);
    std::vector<std::string> ports = FPortScanner.List();
    // The search runs this every pass, up to 25 times a second, and the list seldom changes:
    // lists and a box that already hold exactly these names are left as they are rather than
    // emptied and filled with the same again.
    if (ports != FListedPorts) {
        ValueNames.clear();
        PortNames.clear();
        for (const std::string& port : ports) ValueNames.append(toolkit::TextFromBytes(port));
        for (qsizetype i = 0; i < ValueNames.size(); ++i) PortNames.append(ValueNames[i]);
        if (PortItems() != PortNames) {
            Ports->clear();
            Ports->addItems(PortNames);
        }
        FProbeOutcomes.KeepOnly(ports);
        FListedPorts = std::move(ports);
        FPortSelectionSet = false;
    }
    if (FStableNamer.Update(*FListedPorts)) FProbeOutcomes.SetStableNames(FStableNamer.Names());
    // The box is hidden and nothing else changes its selection: once its last port is selected
    // and its text selected, it stays so until the list changes.
    if (!FPortSelectionSet || Ports->currentIndex() != Ports->count() - 1) {
        if (Ports->currentIndex() != Ports->count() - 1) Ports->setCurrentIndex(Ports->count() - 1);
        // Selecting what is already selected would lay the text out again.
        if (QLineEdit* edit = Ports->lineEdit(); edit != nullptr && edit->selectedText() != edit->text()) edit->selectAll();
        FPortSelectionSet = true;
    }
    PortIndex = -1;
    Rx.DeviceFound = false;
    FSetupFailureReported = false;
    // Enabling a running timer leaves its ticks as they are.
    if (!Timer1->isActive()) Timer1->start();
    Rx.EscapeState = 0;
    Rx.RowCounter = 1;
    for (int c = 0; c < 6; ++c) Table->SetCell(c, 0, kHeaders[c]);
}

void TForm1::Timer1Find(QObject*) {
    static const std::string kSetupCommand("ZS\0E\0P\nC4", 9);
    // The probe's open belongs to the tick that started it: the search waits for it to end (its
    // result comes to ProbeOpenEnded) as long as a port may take to open, and no longer.
    if (FProbeOpener->Pending()) {
        if (!FProbeOpener->Overdue()) return;
        GiveUpProbeOpen();
    }
    if (Rx.DeviceFound) {
        FProbeOutcomes.Answered(toolkit::BytesFromText(CName->text()));
        ShowProbeOutcomes();
        if (!WriteSetupCommand(kSetupCommand)) return;
        Timer1->stop();
        Start->setEnabled(true);
        return;
    }
    if (VaComm1->Active() && !CName->text().isEmpty()) FProbeOutcomes.NoAnswer(toolkit::BytesFromText(CName->text()));
    ++PortIndex;
    if (PortIndex >= Ports->count()) {
        ShowProbeOutcomes();
        FormCreate(this);
        return;
    }
    const QString previousPort = CName->text();
    const QString port = Ports->itemText(PortIndex);
    if (CName->text() != port) CName->setText(port);  // the same text would still be laid out anew
    Rx.ClearLine();
    const std::string portName = toolkit::BytesFromText(port);
    try {
        if (VaComm1->Active()) {
            VaComm1->Close();
            // The previous port's answer can be delivered while its event thread stops: that
            // port has the unit, so go back to it rather than send the setup command elsewhere.
            if (Rx.DeviceFound) {
                ReturnToAnsweredPort(previousPort);
                return;
            }
        }
        VaComm1->SetDeviceName(DeviceNameForPort(portName));
        StartProbeOpen(portName, /*returning=*/false);
    } catch (const EVaCommError& e) {
        // The previous port would not close: try the next one at the next tick.
        FProbeOutcomes.Failed(portName, toolkit::PortNameToDevicePath(portName), e.ErrorCode());
    } catch (...) {
        // Not the serial component's failure (a device name it cannot form): no error number.
        FProbeOutcomes.Failed(portName, toolkit::PortNameToDevicePath(portName), 0);
    }
    ShowProbeOutcomes();
}

void TForm1::ReturnToAnsweredPort(const QString& port) {
    --PortIndex;
    CName->setText(port);
    try {
        const std::string portBytes = toolkit::BytesFromText(port);
        VaComm1->SetDeviceName(DeviceNameForPort(portBytes));
        StartProbeOpen(portBytes, /*returning=*/true);
    } catch (...) {
        Rx.DeviceFound = false;  // gone again: the scan goes on
    }
}

void TForm1::StartProbeOpen(const std::string& port, bool returning) {
    const ProbeOpener::Refusal refusal = FProbeOpener->Start(VaComm1->DevicePath());
    if (refusal == ProbeOpener::Refusal::None) {
        FProbeOpenPort = port;
        FProbeOpenReturning = returning;
        return;
    }
    if (returning) Rx.DeviceFound = false;
    if (refusal == ProbeOpener::Refusal::StillHanging) FProbeOutcomes.StillHanging(port);
    else FProbeOutcomes.TooManyHanging(port, FProbeOpener->Hanging());
}

void TForm1::ProbeOpenEnded() {
    // A word for an open given up or taken meanwhile finds nothing to take.
    if (!FProbeOpener->Ended()) return;
    serialdev::OpenResult opened = FProbeOpener->Take();
    const std::string port = FProbeOpenPort;
    const bool returning = FProbeOpenReturning;
    const std::string devicePath = toolkit::PortNameToDevicePath(port);
    try {
        if (!opened.Device) {
            if (returning) Rx.DeviceFound = false;  // gone again: the scan goes on
            else FProbeOutcomes.Failed(port, devicePath, opened.Error);
            ShowProbeOutcomes();
            return;
        }
        VaComm1->OpenWith(std::move(opened.Device));
        if (returning) return;  // the next tick sends the setup command
        FProbeOutcomes.Opened(port);
        VaComm1->PurgeReadWrite();
        VaComm1->WriteChar('N');
    } catch (const EVaCommError& e) {
        // A port that refuses its settings or the probe: try the next one at the next tick.
        if (returning) Rx.DeviceFound = false;
        else FProbeOutcomes.Failed(port, devicePath, e.ErrorCode());
    } catch (...) {
        if (returning) Rx.DeviceFound = false;
        else FProbeOutcomes.Failed(port, devicePath, 0);
    }
    ShowProbeOutcomes();
    // The unit gets a whole interval from its probe before the next tick looks for its answer.
    if (Timer1->isActive()) Timer1->start();
}

void TForm1::GiveUpProbeOpen() {
    if (!FProbeOpener->Pending()) return;
    FProbeOpener->GiveUp();
    if (FProbeOpenReturning) Rx.DeviceFound = false;
    FProbeOutcomes.OpenHangs(FProbeOpenPort, FOptions.probeOpenDeadline);
    ShowProbeOutcomes();
}

bool TForm1::WriteSetupCommand(const std::string& command) {
    try {
        VaComm1->WriteText(command);
        return true;
    } catch (const EVaCommError& e) {
        // The port hung up between the unit's answer and this tick: the unit went away, as an
        // unplug in Ready is. Retrying the write could never succeed.
        if (MeansPortGone(e.ErrorCode())) {
            UnitWentAway();
            return false;
        }
        // Anything else is still retried every tick, but reported once, not 50 times a second.
        if (FSetupFailureReported) return false;
        FSetupFailureReported = true;
        throw;
    }
}

bool TForm1::MeansPortGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

void TForm1::PortGone() {
    // Only the unit's port matters; a probed port that hangs up is passed over by the scan (and
    // one that hangs up after its answer is found out by the setup command's write).
    if (Timer1->isActive() || !Start->isEnabled()) return;
    UnitWentAway();
}

void TForm1::PortFailed(int error) {
    // As with a hang-up, a probed port is simply passed over by the scan.
    if (Timer1->isActive() || !Start->isEnabled()) return;
    FPortNotice.Show(PortNotice::PortKeptFailing(CName->text(), error));
    UnitWentAway();
}

void TForm1::UnitWentAway() {
    FProbeOutcomes.Gone(toolkit::BytesFromText(CName->text()));
    ShowProbeOutcomes();
    const bool wasCapturing = Start->Caption() == QLatin1String("Close");
    Start->SetCaption(QStringLiteral("Start"));
    VaComm1->Close();
    if (wasCapturing) TellCaptureListeners(false);
    FormCreate(this);
}

void TForm1::ShowProbeOutcomes() {
    // The same outcomes again (most passes of a search) leave the tip as it is.
    if (FShownProbeRevision == FProbeOutcomes.Revision()) return;
    FShownProbeRevision = FProbeOutcomes.Revision();
    const QString tip = QString::fromStdString(FProbeOutcomes.Tooltip());
    if (CName->toolTip() != tip) CName->setToolTip(tip);
}

QStringList TForm1::PortItems() const {
    QStringList items;
    items.reserve(Ports->count());
    for (int i = 0; i < Ports->count(); ++i) items.append(Ports->itemText(i));
    return items;
}

void TForm1::StartClick(QObject*) {
    if (Start->Caption() == QLatin1String("Start")) {
        for (int row = 1; row <= 24; ++row) {
            Table->SetCell(0, row, QString());
            Table->SetCell(1, row, QString());
        }
        Start->SetCaption(QStringLiteral("Close"));
        Rx.ResetFraming();
        TellCaptureListeners(true);
        VaComm1->PurgeReadWrite();
    } else {
        Start->SetCaption(QStringLiteral("Start"));
        VaComm1->Close();
        TellCaptureListeners(false);
        FormCreate(this);
    }
}

void TForm1::ComPortRxChar(toolkit::TObject*, int32_t Count) {
    Rx.ReceiveBytes(Count, [this](uint8_t& b) { return VaComm1->ReadChar(b); });
}

void TForm1::FormClose(QObject*) {
    FProbeOpener->GiveUp();  // a device that still comes is closed where it is opened
    const bool wasCapturing = Start->Caption() == QLatin1String("Close");
    VaComm1->Close();
    if (wasCapturing) TellCaptureListeners(false);
    Timer1->stop();
}

void TForm1::closeEvent(QCloseEvent* event) {
    RunHandler([this] { FormClose(this); });
    QWidget::closeEvent(event);
}

void TForm1::SetCell(int col, int row, const std::string& text) {
    constexpr int kTimeColumn = 1;
    if (col == kTimeColumn) Table->SetCell(col, row, QString::fromStdString(text));
    else Table->SetCell(col, row, FCellTexts.Get(text));
}

void TForm1::SelectCell(int col, int row) { Table->SetSelection(col, row); }

void TForm1::SetUnitId(double value) { TID->SetValue(value); }

void TForm1::SetUnitName(const std::string& text) { Name->setText(QString::fromStdString(text)); }

bool TForm1::FilterChecked() const { return Filter->isChecked(); }
