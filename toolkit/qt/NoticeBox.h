#pragma once
// A notice about work that ended in the background (an export, a save): a message box over the
// window that never blocks it, so the window and its keys go on working beside the notice. One
// box per owner, kept in the owner's pointer: a later notice replaces the text of the one
// showing instead of stacking another box.
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace toolkit {

// Shows `text` in `box`, made non-modal as a child of `parent` the first time (and again if
// the box has gone); a warning when `failed`, else information.
void ShowNotice(QPointer<QMessageBox>& box, QWidget* parent, const QString& title, const QString& text, bool failed);

} // namespace toolkit
