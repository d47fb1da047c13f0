#include "TableExportCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSaveFile>

#include "app/MainForm.h"
#include "app/record/Csv.h"
#include "toolkit/SysUtils.h"
#include "toolkit/qt/DialogFolders.h"

namespace {

// An edit box with focus takes Ctrl+C for itself even with nothing selected, so the table
// could never be copied while the identifier box has focus. Without a selection the key is
// left to the window's command.
class CopyKeyToWindow : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            auto* key = static_cast<QKeyEvent*>(event);
            auto* edit = qobject_cast<QLineEdit*>(watched);
            if (edit != nullptr && key->matches(QKeySequence::Copy) && !edit->hasSelectedText()) {
                key->ignore();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

void SaveTable(TForm1& form, const TableExportOptions& options) {
    const QString path = options.askSavePath
                             ? options.askSavePath()
                             : QFileDialog::getSaveFileName(&form, QStringLiteral("Save table"), toolkit::SaveDialogFolder(),
                                                            QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    toolkit::NoteSavedInto(path);
    QSaveFile file(path);
    const QByteArray csv = TableAsCsv(*form.Table);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        throw toolkit::Exception("Could not save the table to \"" + QDir::toNativeSeparators(path).toStdString() + "\": " +
                                 file.errorString().toStdString());
    }
}

} // namespace

QString TableAsTabSeparatedText(const TStringGrid& table) {
    QString text;
    for (int row = 0; row < table.RowCount(); ++row) {
        for (int col = 0; col < table.ColCount(); ++col) {
            if (col > 0) text += QLatin1Char('\t');
            text += table.Cell(col, row);
        }
        text += QLatin1Char('\n');
    }
    return text;
}

QByteArray TableAsCsv(const TStringGrid& table) {
    std::string csv;
    for (int row = 0; row < table.RowCount(); ++row) {
        for (int col = 0; col < table.ColCount(); ++col) {
            if (col > 0) csv += ',';
            record::AppendCsvField(csv, table.Cell(col, row).toStdString());
        }
        csv += '\n';
    }
    return QByteArray::fromStdString(csv);
}

void InstallTableExportCommands(TForm1& form, TableExportOptions options) {
    form.AddCommand(QStringLiteral("Copy table"), QKeySequence::Copy,
                    [&form] { QApplication::clipboard()->setText(TableAsTabSeparatedText(*form.Table)); });
    form.AddCommand(QStringLiteral("Save table as CSV..."), QKeySequence::Save,
                    [&form, options] { SaveTable(form, options); });
    auto* filter = new CopyKeyToWindow(&form);
    for (QLineEdit* edit : form.findChildren<QLineEdit*>()) edit->installEventFilter(filter);
}
