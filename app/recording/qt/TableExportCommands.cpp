#include "TableExportCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSaveFile>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/MainForm.h"
#include "app/record/Csv.h"
#include "app/recording/FileKind.h"
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

// Why the table could not be written to path; empty once it was. For a thread that may wait.
QString WriteTableFile(const QString& path, const QByteArray& csv) {
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        // Writing would wait for a reader or a driver, or replace what is there with a file.
        const std::string kind = recording::NonRegularFileKind(QFile::encodeName(path).toStdString());
        return QStringLiteral("Could not save the table to \"%1\": it is %2, not a file")
            .arg(shown, kind.empty() ? QStringLiteral("not a regular file") : QString::fromStdString(kind));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        return QStringLiteral("Could not save the table to \"%1\": %2").arg(shown, file.errorString());
    }
    return {};
}

// The saves under way, each on a thread of its own. A thread whose file system does not answer
// outlives the window; it uses only what it was given.
class TableSaves : public QObject {
public:
    TableSaves(TForm1& form, TableExportOptions options) : QObject(&form), FForm(form), FOptions(std::move(options)) {}
    ~TableSaves() override {
        for (const std::shared_ptr<Save>& save : FSaves) {
            std::lock_guard<std::mutex> lock(save->Lock);
            save->Abandoned = true;
            if (save->Done) save->Thread.join();
            else save->Thread.detach();
        }
    }

    void AskAndSave() {
        const QString path = FOptions.askSavePath
                                 ? FOptions.askSavePath()
                                 : QFileDialog::getSaveFileName(&FForm, QStringLiteral("Save table"), toolkit::SaveDialogFolder(),
                                                                QStringLiteral("CSV files (*.csv)"));
        if (path.isEmpty()) return;
        toolkit::NoteSavedInto(path);
        auto save = std::make_shared<Save>();
        save->Thread = std::thread([this, save, path, csv = TableAsCsv(*FForm.Table)] {
            const QString error = WriteTableFile(path, csv);
            std::lock_guard<std::mutex> lock(save->Lock);
            if (save->Abandoned) return;
            save->Done = true;
            QMetaObject::invokeMethod(this, [this, save, path, error] { Ended(save, path, error); }, Qt::QueuedConnection);
        });
        FSaves.push_back(std::move(save));
    }

private:
    struct Save {
        std::mutex Lock;
        bool Abandoned = false;  // the window has gone: no word any more
        bool Done = false;       // the thread has given its word and is ending
        std::thread Thread;
    };

    void Ended(const std::shared_ptr<Save>& save, const QString& path, const QString& error) {
        save->Thread.join();
        std::erase(FSaves, save);
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
    std::vector<std::shared_ptr<Save>> FSaves;
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
