#include "app/check/ui/ThrottleCheckCommand.h"

#include <QKeySequence>

#include "app/MainForm.h"
#include "app/check/ui/CheckWindow.h"

namespace check::ui {

ThrottleCheckCommand::ThrottleCheckCommand(TForm1& form) : FForm(form) {
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
        FWindow = new CheckWindow(&FForm);
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

void ThrottleCheckCommand::NameReceived(const ReceivedNameRecord&) {}

} // namespace check::ui
