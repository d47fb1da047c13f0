#include "DemoHooks.h"

#include <QApplication>
#include <QEvent>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "MainForm.h"

namespace {
// Clicks Start once, the moment the search has found the unit and enabled it.
class ClickWhenEnabled : public QObject {
public:
    explicit ClickWhenEnabled(TForm1& form) : QObject(&form), FForm(form) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange && FForm.Start->isEnabled()) {
            FForm.Start->removeEventFilter(this);
            QTimer::singleShot(0, &FForm, [&form = FForm] {
                if (form.Start->OnClick) form.Start->OnClick(form.Start);
            });
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TForm1& FForm;
};

int EnvInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return (end != nullptr && *end == '\0' && v >= 0 && v < 3600000) ? static_cast<int>(v) : fallback;
}
} // namespace

void InstallDemoHooks(TForm1& form) {
    const char* click = std::getenv("TORVANE_DEMO_CLICK_START");
    if (click != nullptr && *click == '1') form.Start->installEventFilter(new ClickWhenEnabled(form));
    const char* shot = std::getenv("TORVANE_SCREENSHOT");
    if (shot == nullptr || *shot == '\0') return;
    const QString path = QString::fromLocal8Bit(shot);
    QTimer::singleShot(EnvInt("TORVANE_SCREENSHOT_AFTER_MS", 3000), &form, [&form, path] {
        const bool saved = form.grab().save(path, "PNG");
        std::fprintf(stderr, "%s %s\n", saved ? "screenshot written:" : "could not write screenshot:", qPrintable(path));
        form.close();
        QApplication::quit();
    });
}
