#include "app/check/ui/CheckWindow.h"

#include <QShowEvent>
#include <QVBoxLayout>

#include "toolkit/qt/ScreenFit.h"

namespace check::ui {

CheckWindow::CheckWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Throttle check"));
    auto* layout = new QVBoxLayout(this);
    CarBox = new QComboBox(this);
    Instruction = new QLabel(QStringLiteral("Waiting for a car's records..."), this);
    layout->addWidget(CarBox);
    layout->addWidget(Instruction);
    layout->addStretch();
    resize(720, 560);
}

void CheckWindow::Take(const ShownStatusRecord&) {}

void CheckWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) toolkit::KeepOnScreen(*this);
}

} // namespace check::ui
