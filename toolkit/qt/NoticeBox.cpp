#include "NoticeBox.h"

namespace toolkit {

void ShowNotice(QPointer<QMessageBox>& box, QWidget* parent, const QString& title, const QString& text, bool failed) {
    if (box.isNull()) {
        box = new QMessageBox(QMessageBox::Information, title, QString(), QMessageBox::Ok, parent);
        box->setWindowModality(Qt::NonModal);
        box->setModal(false);
    }
    box->setWindowTitle(title);
    box->setIcon(failed ? QMessageBox::Warning : QMessageBox::Information);
    box->setText(text);
    box->show();
}

} // namespace toolkit
