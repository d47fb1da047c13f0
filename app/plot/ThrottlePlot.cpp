#include "app/plot/ThrottlePlot.h"

#include <QEvent>
#include <QKeySequence>
#include <QSettings>

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
    return QObject::eventFilter(watched, event);
}

} // namespace plot
