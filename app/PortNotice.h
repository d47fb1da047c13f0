#pragma once
// Tells what happened to the unit's port without holding up the window: a non-modal notice over
// it, beside which Start/Close, the commands and closing the window keep working. A later
// notice replaces the one showing.
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

class PortNotice {
public:
    explicit PortNotice(QWidget& window) : FWindow(window) {}
    ~PortNotice();
    PortNotice(const PortNotice&) = delete;
    PortNotice& operator=(const PortNotice&) = delete;

    void Show(const QString& text);
    // What the notice says now; empty when it is not showing.
    QString Text() const;

    // The text for a port whose calls kept failing while the system still listed it; error is
    // the system's error number (0: none was given).
    static QString PortKeptFailing(const QString& port, int error);

private:
    QWidget& FWindow;
    QPointer<QMessageBox> FBox;
};
