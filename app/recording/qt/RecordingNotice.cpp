#include "RecordingNotice.h"

#include <QApplication>
#include <QStringList>

#include <algorithm>

RecordingNotice::~RecordingNotice() { delete FBox.data(); }

void RecordingNotice::Show(uint64_t subject, const QString& text) {
    auto same = std::find_if(FEntries.begin(), FEntries.end(), [subject](const auto& e) { return e.first == subject; });
    if (same != FEntries.end()) FEntries.erase(same);
    FEntries.emplace_back(subject, text);
    if (FEntries.size() > kMostEntries) FEntries.erase(FEntries.begin());

    if (FBox.isNull()) {
        // A child of the window, so it stays over it and goes with it, but never modal: not a
        // primary window either, so closing the capture window still ends the program.
        FBox = new QMessageBox(QMessageBox::Warning, QApplication::applicationDisplayName(), QString(), QMessageBox::Ok,
                               &FWindow);
        FBox->setWindowModality(Qt::NonModal);
        FBox->setModal(false);
        QObject::connect(FBox.data(), &QMessageBox::finished, FBox.data(), [this] {
            FEntries.clear();
            FBox->hide();
        });
    }
    QStringList lines;
    for (const auto& entry : FEntries) lines << entry.second;
    FBox->setText(lines.join(QStringLiteral("\n\n")));
    if (!FBox->isVisible()) FBox->show();
}

QString RecordingNotice::Text() const { return FBox.isNull() || !FBox->isVisible() ? QString() : FBox->text(); }
