#pragma once
// A step's progress mark, drawn as the style draws a progress bar. Unlike QProgressBar, a new
// value asks for a repaint with the window's next one instead of repainting at once, so the
// frequent changes of a step in progress cost no paint and flush of their own.
#include <QWidget>

namespace check::ui {

class ProgressMark : public QWidget {
public:
    explicit ProgressMark(QWidget* parent = nullptr);
    void setValue(int percent);  // 0 to 100
    int value() const { return FValue; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int FValue = 0;
};

} // namespace check::ui
