#include "PortNotice.h"

#include <QApplication>

#include "serial/VaUtils.h"

PortNotice::~PortNotice() { delete FBox.data(); }

void PortNotice::Show(const QString& text) {
    if (FBox.isNull()) {
        // A child of the window, so it stays over it and goes with it, but never modal.
        FBox = new QMessageBox(QMessageBox::Warning, QApplication::applicationDisplayName(), QString(), QMessageBox::Ok,
                               &FWindow);
        FBox->setObjectName(QStringLiteral("portNotice"));
        FBox->setWindowModality(Qt::NonModal);
        FBox->setModal(false);
        QObject::connect(FBox.data(), &QMessageBox::finished, FBox.data(), [this] { FBox->hide(); });
    }
    FBox->setText(text);
    if (!FBox->isVisible()) FBox->show();
}

QString PortNotice::Text() const { return FBox.isNull() || !FBox->isVisible() ? QString() : FBox->text(); }

QString PortNotice::PortKeptFailing(const QString& port, int error) {
    const QString why = error == 0 ? QStringLiteral("no error number")
                                   : QStringLiteral("error %1: %2")
                                         .arg(error)
                                         .arg(QString::fromStdString(vautils::SystemErrorText(error)));
    return QStringLiteral("The port %1 kept failing (%2) although the system still lists it. It was closed, and "
                          "the search for the unit has started again.")
        .arg(port, why);
}
