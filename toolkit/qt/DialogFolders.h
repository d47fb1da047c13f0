#pragma once
// Where the file dialogs start, and what a save dialog's choice names. A save or export dialog
// starts in the folder the user last saved or exported into during this run, else in the user's
// documents folder; which folder that was is not stored, so the settings file stays as it is.
#include <QString>

namespace toolkit {

// The folder a save or export dialog starts in.
QString SaveDialogFolder();

// Notes the folder of the file the user chose in a save or export dialog; an empty choice
// (cancelled) changes nothing.
void NoteSavedInto(const QString& chosenFile);

// The file a save dialog's choice names when only one kind of file is saved: a name with no
// suffix gets `suffix` (given without its dot); any other is kept as chosen.
QString WithSuffixIfNone(const QString& chosenFile, const QString& suffix);

} // namespace toolkit
