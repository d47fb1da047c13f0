#include "app/plot/ThrottlePlot.h"

#include <QEvent>
#include <QFile>
#include <QKeySequence>
#include <QPixmap>
#include <QSettings>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

#include "app/MainForm.h"

namespace plot {

namespace {
const QString kOpenKey = QStringLiteral("plot/open");
const QString kGeometryKey = QStringLiteral("plot/geometry");
const QString kSecondsKey = QStringLiteral("plot/seconds");
} // namespace

ThrottlePlot::ThrottlePlot(TForm1& form)
    : FForm(form), FWindow(std::make_unique<PlotWindow>(FModel, &form)), FFeed(form.Rx, FModel) {
    FFeed.OnRecord = [this] { FWindow->RecordAdded(); };
    FCommand = form.AddCommand(QString::fromLatin1(kCommandText), QKeySequence(Qt::CTRL | Qt::Key_G), [this] { Toggle(); });
    FCommand->setCheckable(true);
    FWindow->addAction(FCommand);  // the shortcut closes it from its own window too
    Restore();
    FWindow->OnShownOrHidden = [this](bool shown) {
        FCommand->setChecked(shown);
        if (!FEnding) Save();
    };
    FGeometrySave.setSingleShot(true);
    FGeometrySave.setInterval(kGeometrySaveDelayMs);
    connect(&FGeometrySave, &QTimer::timeout, this, [this] { Save(); });
    FWindow->OnGeometryChanged = [this] { FGeometrySave.start(); };
    FForm.installEventFilter(this);
    connect(FWindow->WindowBox, &QComboBox::currentIndexChanged, this, [this] { Save(); });

    if (const char* shot = std::getenv("TORVANE_PLOT_SCREENSHOT"); shot != nullptr && *shot != '\0') {
        ScreenshotOnClose(QString::fromLocal8Bit(shot));
    }
}

ThrottlePlot::~ThrottlePlot() {
    FWindow->OnShownOrHidden = nullptr;
    FWindow->OnGeometryChanged = nullptr;
    FGeometrySave.stop();
    if (!FEnding) Save();
    FForm.removeEventFilter(this);
    delete FCommand;  // its handler refers to this
}

void ThrottlePlot::Toggle() {
    if (FWindow->isVisible()) {
        FWindow->close();
    } else {
        FWindow->show();
        FWindow->raise();
        FWindow->activateWindow();
    }
    FCommand->setChecked(FWindow->isVisible());
}

void ThrottlePlot::Restore() {
    QSettings settings;
    FWindow->WindowBox->setCurrentIndex(FWindow->WindowBox->findData(
        settings.value(kSecondsKey, PlotModel::kDefaultWindowSeconds).toInt()));
    if (FWindow->WindowBox->currentIndex() < 0) {
        FWindow->WindowBox->setCurrentIndex(FWindow->WindowBox->findData(PlotModel::kDefaultWindowSeconds));
    }
    FWindow->restoreGeometry(settings.value(kGeometryKey).toByteArray());
    if (settings.value(kOpenKey, false).toBool()) FWindow->show();
    FCommand->setChecked(FWindow->isVisible());
}

void ThrottlePlot::Save() const {
    QSettings settings;
    // Open unless the user closed it: when the capture window closes, the plot is hidden with it
    // but was open when the program ended.
    settings.setValue(kOpenKey, !FWindow->isHidden());
    settings.setValue(kSecondsKey, FModel.WindowSeconds());
    settings.setValue(kGeometryKey, FWindow->saveGeometry());
}

void ThrottlePlot::ScreenshotOnClose(const QString& path) {
    FScreenshotPath = path;
    if (!FWindow->isVisible()) Toggle();
}

bool ThrottlePlot::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &FForm) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::Close) {
        // Closing the capture window ends the program, which then closes the plot as well: what
        // is kept is the plot as it was now.
        FGeometrySave.stop();
        Save();
        FEnding = true;
    } else if (event->type() == QEvent::Show) {
        FEnding = false;
    }
    if (event->type() == QEvent::Close && !FScreenshotPath.isEmpty()) {
        FWindow->Refresh();
        bool saved = FWindow->grab().save(FScreenshotPath, "PNG");
        QFile text(FScreenshotPath + QStringLiteral(".txt"));
        if (saved && text.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            QTextStream out(&text);
            out << "samples: " << FModel.SampleCount() << "\n" << FWindow->LatestText() << "\n";
        } else {
            saved = false;
        }
        std::fprintf(stderr, "%s %s\n", saved ? "plot screenshot written:" : "could not write plot screenshot:",
                     qPrintable(FScreenshotPath));
        FScreenshotPath.clear();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace plot
