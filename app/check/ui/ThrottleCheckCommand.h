#pragma once
// "Throttle check..." (Ctrl+T): opens the check window beside the capture window. The window
// hears every status record the decoder shows (the table's records) from when it is first
// opened.
#include <QAction>
#include <QObject>
#include <QPointer>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/ReceiveDecoder.h"
#include "app/check/ui/CheckWindow.h"

class TForm1;

namespace session::ui {
class SessionWindow;
}

namespace check {
struct Thresholds;
}

namespace check::ui {


class ThrottleCheckCommand : public QObject, private RecordObserver {
public:
    static constexpr const char* kCommandText = "Throttle check...";

    // Adds the command to the capture window. Must go before the window does. Finished checks
    // are kept in checksFolder (empty: not kept).
    ThrottleCheckCommand(TForm1& form, std::filesystem::path checksFolder);
    ~ThrottleCheckCommand() override;

    // The command from another window too (the plot, a session): its context menu and shortcut.
    void AddTo(QWidget& window);
    // Opens (or brings forward) the check window.
    void Open();
    // The command in a session window: checks the car at its cursor (or its first car) over the
    // range it shows, the same way as live, without the steps.
    void AddTo(session::ui::SessionWindow& window);
    void CheckSession(const session::ui::SessionWindow& window);

    QAction* Command() const { return FCommand; }
    // The thresholds as the settings file sets them, and a notice for each value refused.
    static Thresholds ThresholdsFromSettings(std::vector<std::string>& notices);
    CheckWindow* Window() const { return FWindow; }

private:
    void StatusShown(const ShownStatusRecord& record) override;
    void NameReceived(const ReceivedNameRecord& record) override;

    TForm1& FForm;
    QAction* FCommand = nullptr;
    QPointer<CheckWindow> FWindow;
    bool FObserving = false;
    std::filesystem::path FChecksFolder;
    QString FUnit;
};

} // namespace check::ui
