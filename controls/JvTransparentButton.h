#pragma once
// PLACEHOLDER until the flat push button lands: the members the window uses.
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <functional>

class TJvTransparentButton : public QWidget {
public:
    explicit TJvTransparentButton(QWidget* parent = nullptr) : QWidget(parent) {}
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& c) { FCaption = c; update(); }
    std::function<void(QObject* Sender)> OnClick;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().button());
        p.setPen(isEnabled() ? palette().color(QPalette::WindowText) : palette().color(QPalette::Mid));
        p.drawText(rect(), Qt::AlignCenter, FCaption);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick) OnClick(this);
    }

private:
    QString FCaption;
};
