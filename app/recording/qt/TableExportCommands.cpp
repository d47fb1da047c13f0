#include "TableExportCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>


#include "app/MainForm.h"
#include "app/recording/qt/FileSave.h"
#include "app/record/Csv.h"
#include "toolkit/qt/BackgroundJobs.h"
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

// The saves under way, each on a thread of its own; one whose file system does not answer
// outlives the window.
class TableSaves : public QObject {
public:
    TableSaves(TForm1& form, TableExportOptions options) : QObject(&form), FForm(form), FOptions(std::move(options)) {}

    void AskAndSave() {
        const QString path = FOptions.askSavePath
                                 ? FOptions.askSavePath()
                                 : QFileDialog::getSaveFileName(&FForm, QStringLiteral("Save table"), toolkit::SaveDialogFolder(),
                                                                QStringLiteral("CSV files (*.csv)"));
        if (path.isEmpty()) return;
        toolkit::NoteSavedInto(path);
        FSaves.Start<QString>([path, csv = TableAsCsv(*FForm.Table)](toolkit::BackgroundJobs::Job&) { return SaveWholeFile(path, csv, QStringLiteral("table")); },
                              [this, path](const QString& error) { Ended(path, error); });
    }

private:
    void Ended(const QString& path, const QString& error) {
        if (FOptions.saved) {
            FOptions.saved(path, error);
        } else if (!error.isEmpty()) {
            auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Save table"), error, QMessageBox::Ok, &FForm);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            box->show();
        }
    }

    TForm1& FForm;
    TableExportOptions FOptions;
    toolkit::BackgroundJobs FSaves{*this};  // last: goes first
};

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
    auto* saves = new TableSaves(form, std::move(options));
    form.AddCommand(QStringLiteral("Save table as CSV..."), QKeySequence::Save, [saves] { saves->AskAndSave(); });
    auto* filter = new CopyKeyToWindow(&form);
    for (QLineEdit* edit : form.findChildren<QLineEdit*>()) edit->installEventFilter(filter);
}
