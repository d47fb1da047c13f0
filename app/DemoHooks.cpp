#include "DemoHooks.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QPixmap>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>

#include "MainForm.h"
#include "app/check/ui/ThrottleCheckCommand.h"
#include "app/plot/ThrottlePlot.h"

namespace {

int EnvInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return (end != nullptr && *end == '\0' && v >= 0 && v < 3600000) ? static_cast<int>(v) : fallback;
}

bool EnvFlag(const char* name) {
    const char* text = std::getenv(name);
    return text != nullptr && text[0] == '1';
}

// What the window shows, as text beside the screenshot, for scripts that check it.
bool WriteTableText(TForm1& form, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QTextStream out(&file);
    out << "caption: " << form.Start->Caption() << "\n";
    out << "start-enabled: " << (form.Start->isEnabled() ? "yes" : "no") << "\n";
    out << "port: " << form.CName->text() << "\n";
    out << "unit: " << form.TID->text() << " " << form.Name->text() << "\n";
    for (int row = 0; row < form.Table->RowCount(); ++row) {
        QStringList cells;
        for (int col = 0; col < form.Table->ColCount(); ++col) cells << form.Table->Cell(col, row);
        out << "row " << row << ": " << cells.join(QLatin1Char('|')) << "\n";
    }
    return true;
}

void ScreenshotAndQuit(TForm1& form, const QString& path) {
    const bool saved = form.grab().save(path, "PNG") && WriteTableText(form, path + QStringLiteral(".txt"));
    std::fprintf(stderr, "%s %s\n", saved ? "screenshot written:" : "could not write screenshot:", qPrintable(path));
    form.close();
    QApplication::quit();
}

// Watches the Start button: clicks it once it is enabled (when asked to), and takes the
// screenshot a while after the click that turned it into "Close" (when asked to).
class StartWatcher : public QObject {
public:
    StartWatcher(TForm1& form, bool clickWhenEnabled, QString shotPath, int shotAfterStartMs)
        : QObject(&form), FForm(form), FClick(clickWhenEnabled), FShotPath(std::move(shotPath)),
          FShotAfterStartMs(shotAfterStartMs) {
        form.Start->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange && FClick && FForm.Start->isEnabled()) {
            FClick = false;
            // A person clicks a moment later; Start purges what the port has not sent yet, and
            // the setup command has only just been written.
            QTimer::singleShot(500, this, [this] {
                if (FForm.Start->OnClick) FForm.Start->OnClick(FForm.Start);
                CheckStarted();
            });
        } else if (event->type() == QEvent::MouseButtonRelease) {
            QTimer::singleShot(0, this, [this] { CheckStarted(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void CheckStarted() {
        if (FShotPath.isEmpty() || FShotScheduled || FForm.Start->Caption() != QLatin1String("Close")) return;
        FShotScheduled = true;
        QTimer::singleShot(FShotAfterStartMs, &FForm, [this] { ScreenshotAndQuit(FForm, FShotPath); });
    }

    TForm1& FForm;
    bool FClick;
    QString FShotPath;
    int FShotAfterStartMs;
    bool FShotScheduled = false;
};

// Opens the plot, and grabs it when the capture window closes (the program's end, which closes
// the plot too).
class PlotShotOnClose : public QObject {
public:
    PlotShotOnClose(TForm1& form, plot::ThrottlePlot& plot, QString path)
        : QObject(&form), FPlot(plot), FPath(std::move(path)) {
        if (!FPlot.Window().isVisible()) FPlot.Toggle();
        form.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && !FPath.isEmpty()) {
            FPlot.Window().Refresh();
            bool saved = FPlot.Window().grab().save(FPath, "PNG");
            QFile text(FPath + QStringLiteral(".txt"));
            if (saved && text.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                QTextStream out(&text);
                out << "samples: " << FPlot.Model().SampleCount() << "\n" << FPlot.Window().LatestText() << "\n";
            } else {
                saved = false;
            }
            std::fprintf(stderr, "%s %s\n", saved ? "plot screenshot written:" : "could not write plot screenshot:",
                         qPrintable(FPath));
            FPath.clear();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    plot::ThrottlePlot& FPlot;
    QString FPath;
};

// Checks each car seen in turn, keeping a picture of the window and the report of each.
void CheckEachCar(check::ui::ThrottleCheckCommand& command, const QString& shot) {
    command.Open();
    check::ui::CheckWindow* window = command.Window();
    auto done = std::make_shared<std::set<int>>();
    QObject::connect(window, &check::ui::CheckWindow::ReportKept, window, [window, shot, done](const QString& pdf) {
        const int car = window->Car().value_or(0);
        const QString base = shot.left(shot.size() - 4) + QStringLiteral("-car%1").arg(car);
        const bool saved = window->Snapshot().save(base + QStringLiteral(".png"), "PNG");
        QFile::remove(base + QStringLiteral(".pdf"));
        const bool copied = QFile::copy(pdf, base + QStringLiteral(".pdf"));
        std::fprintf(stderr, "check of car %d (%s): %s%s.png and .pdf\n", car, qPrintable(window->Instruction->text()),
                     saved && copied ? "" : "could not write all of ", qPrintable(base));
        done->insert(car);
        for (int i = 0; i < window->CarBox->count(); ++i) {
            const int next = window->CarBox->itemData(i).toInt();
            if (done->count(next) == 0) {
                window->Pick(static_cast<uint8_t>(next));
                return;
            }
        }
        QTimer::singleShot(0, qApp, &QApplication::quit);  // every car checked
    });
}
} // namespace

void InstallDemoHooks(TForm1& form, plot::ThrottlePlot& plot, check::ui::ThrottleCheckCommand& check) {
    if (const char* checkShot = std::getenv("TORVANE_CHECK_SCREENSHOT"); checkShot != nullptr && *checkShot != '\0') {
        CheckEachCar(check, QString::fromLocal8Bit(checkShot));
    }
    if (const char* plotShot = std::getenv("TORVANE_PLOT_SCREENSHOT"); plotShot != nullptr && *plotShot != '\0') {
        new PlotShotOnClose(form, plot, QString::fromLocal8Bit(plotShot));
    }
    const char* shot = std::getenv("TORVANE_SCREENSHOT");
    const QString shotPath = shot != nullptr ? QString::fromLocal8Bit(shot) : QString();
    const bool afterStart = EnvFlag("TORVANE_SCREENSHOT_AFTER_START");
    const bool click = EnvFlag("TORVANE_DEMO_CLICK_START");
    const int afterMs = EnvInt("TORVANE_SCREENSHOT_AFTER_MS", 3000);
    if (click || (afterStart && !shotPath.isEmpty())) {
        new StartWatcher(form, click, afterStart ? shotPath : QString(), afterMs);
    }
    if (!shotPath.isEmpty() && !afterStart) {
        QTimer::singleShot(afterMs, &form, [&form, shotPath] { ScreenshotAndQuit(form, shotPath); });
    }
}
