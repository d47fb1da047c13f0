#pragma once
// The window's table to the clipboard (tab-separated) and to a CSV file chosen in a dialog. The
// table is disabled by design, so these are window commands with window-wide shortcuts. The file
// is written on a thread of its own, so a disk or file system that does not answer never holds
// up the window; a FIFO or a device chosen as the file is refused by its kind, not waited on.
#include <QByteArray>
#include <QString>

#include <functional>

class TForm1;
class TStringGrid;

struct TableExportOptions {
    // Asks where to save; an empty answer cancels. Empty: the file dialog.
    std::function<QString()> askSavePath;
    // Told on the window's thread when a save has ended: the reason it failed, empty when the
    // file was written. Empty: nothing on success, and a failure in a box that leaves the
    // windows working.
    std::function<void(const QString& path, const QString& error)> saved;
};

void InstallTableExportCommands(TForm1& form, TableExportOptions options = {});

// Every row of the table as shown, header first: cells separated by tabs, rows by line ends.
QString TableAsTabSeparatedText(const TStringGrid& table);
// The same as CSV (UTF-8).
QByteArray TableAsCsv(const TStringGrid& table);
