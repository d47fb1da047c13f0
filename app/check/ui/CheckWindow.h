#pragma once
// The throttle check window: a car, the guided steps with a live trace and a progress mark, the
// verdict with each figure beside its threshold, and the pictures of the sweep.
#include <QComboBox>
#include <QLabel>
#include <QWidget>

#include "app/ReceiveDecoder.h"

namespace check::ui {

class CheckWindow : public QWidget {
public:
    explicit CheckWindow(QWidget* parent = nullptr);

    // A status record as the table showed it; runs at line rate, so it only takes it in.
    void Take(const ShownStatusRecord& record);

    QComboBox* CarBox = nullptr;
    QLabel* Instruction = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace check::ui
