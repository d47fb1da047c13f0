#pragma once
// The window's table to the clipboard (tab-separated) and to a CSV file chosen in a dialog. The
// table is disabled by design, so these are window commands with window-wide shortcuts.
#include <QByteArray>
#include <QString>

#include <functional>

class TForm1;
class TStringGrid;

struct TableExportOptions {
    // Asks where to save; an empty answer cancels. Empty: the file dialog.
    std::function<QString()> askSavePath;
};

void InstallTableExportCommands(TForm1& form, TableExportOptions options = {});

// Every row of the table as shown, header first: cells separated by tabs, rows by line ends.
QString TableAsTabSeparatedText(const TStringGrid& table);
// The same as CSV (UTF-8).
QByteArray TableAsCsv(const TStringGrid& table);
