#include "app/check/ui/ThrottleCheckCommand.h"

#include <QKeySequence>
#include <QSettings>

#include "app/MainForm.h"
#include "toolkit/qt/FileName.h"
#include "app/check/qt/CheckSettings.h"
#include "app/check/ui/CheckWindow.h"
#include "app/session/ui/SessionWindow.h"

namespace check::ui {

ThrottleCheckCommand::ThrottleCheckCommand(TForm1& form, std::filesystem::path checksFolder)
    : FForm(form), FChecksFolder(std::move(checksFolder)) {
    FCommand = form.AddCommand(QString::fromLatin1(kCommandText), QKeySequence(Qt::CTRL | Qt::Key_T), [this] { Open(); });
}

ThrottleCheckCommand::~ThrottleCheckCommand() {
    if (FObserving) FForm.Rx.RemoveObserver(this);
    delete FWindow.data();
    delete FCommand;  // its handler refers to this
}

void ThrottleCheckCommand::AddTo(QWidget& window) {
    window.addAction(FCommand);
    if (window.contextMenuPolicy() == Qt::DefaultContextMenu) window.setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ThrottleCheckCommand::Open() {
    if (!FWindow) {
        CheckWindow::Options options;
        options.thresholds = ThresholdsFromSettings(options.thresholdNotices);
        options.filterOn = [this] { return FForm.Filter->isChecked(); };
        if (!FChecksFolder.empty()) options.reports = std::make_shared<CheckReports>(FChecksFolder);
        FWindow = new CheckWindow(std::move(options), &FForm);
        FWindow->SetUnit(FUnit);
        FWindow->addAction(FCommand);
    }
    if (!FObserving) {
        FForm.Rx.AddObserver(this);
        FObserving = true;
    }
    FWindow->show();
    FWindow->raise();
    FWindow->activateWindow();
}

void ThrottleCheckCommand::AddTo(session::ui::SessionWindow& window) {
    auto* action = new QAction(FCommand->text(), &window);
    action->setShortcut(FCommand->shortcut());
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, &window, [this, &window] { CheckSession(window); });
    window.addAction(action);
    if (window.contextMenuPolicy() == Qt::DefaultContextMenu) window.setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ThrottleCheckCommand::CheckSession(const session::ui::SessionWindow& window) {
    const session::SessionData* data = window.Data();
    if (data == nullptr || data->Cars().empty()) return;  // still reading, or no status records
    uint8_t car = data->Cars().front();
    if (const auto cursor = window.CursorIndex(); cursor && *cursor < data->RecordCount()) {
        const session::RecordValues at = data->Record(*cursor);
        if (at.kind == session::RowKind::Status) car = at.car;
    }
    const chart::TimeView view = window.View();
    std::vector<Sample> samples;
    for (size_t i = data->LowerBound(view.startMs); i < data->RecordCount(); ++i) {
        const session::RecordValues r = data->Record(i);
        if (r.timeMs >= view.endMs) break;
        if (r.kind == session::RowKind::Status && r.car == car) samples.push_back({r.timeMs, r.car, r.drivePwm, r.brakePwm, r.laneChange});
    }
    Open();
    FWindow->CheckRecords(car, samples, toolkit::DisplayText(window.Path().filename()));
}

void ThrottleCheckCommand::StatusShown(const ShownStatusRecord& record) {
    if (FWindow) FWindow->Take(record);
}

void ThrottleCheckCommand::NameReceived(const ReceivedNameRecord& record) {
    FUnit = QStringLiteral("%1 (%2)").arg(QString::fromStdString(record.NameUtf8)).arg(record.UnitId);
    if (FWindow) FWindow->SetUnit(FUnit);
}

Thresholds ThrottleCheckCommand::ThresholdsFromSettings(std::vector<std::string>& notices) {
    QSettings settings;
    return ReadCheckThresholds(settings, notices);
}

} // namespace check::ui
