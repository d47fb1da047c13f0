#include "app/check/ui/ThrottleCheckCommand.h"

#include <QKeySequence>
#include <QSettings>

#include "app/MainForm.h"
#include "app/check/ui/CheckWindow.h"

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

void ThrottleCheckCommand::StatusShown(const ShownStatusRecord& record) {
    if (FWindow) FWindow->Take(record);
}

void ThrottleCheckCommand::NameReceived(const ReceivedNameRecord& record) {
    FUnit = QStringLiteral("%1 (%2)").arg(QString::fromStdString(record.NameUtf8)).arg(record.UnitId);
    if (FWindow) FWindow->SetUnit(FUnit);
}

Thresholds ThrottleCheckCommand::ThresholdsFromSettings(std::vector<std::string>& notices) {
    Thresholds thresholds;
    QSettings settings;
    for (const ThresholdSetting& s : ThresholdSettings()) {
        const QString key = QString::fromLatin1(s.key.data(), static_cast<qsizetype>(s.key.size()));
        if (!settings.contains(key)) continue;
        if (auto notice = ApplyThresholdSetting(thresholds, s.key, settings.value(key).toString().toStdString())) {
            notices.push_back(*notice);
        }
    }
    return thresholds;
}

} // namespace check::ui
