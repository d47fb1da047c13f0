#include "app/check/ui/CheckReports.h"

#include <QFile>
#include <QMetaObject>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QSaveFile>

#include <fstream>
#include <mutex>
#include <sstream>

#include "app/check/ThrottleCheck.h"
#include "app/check/ui/CheckPictures.h"
#include "app/chart/qt/PictureDrawing.h"
#include "app/workbook/ChecksWorkbook.h"
#include "toolkit/qt/FileName.h"

namespace check::ui {

namespace {
const char* const kCsvName = "checks.csv";

std::string Quoted(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

// The figures a bench user follows from one check to the next, with the words for them.
const std::pair<const char*, const char*> kFollowed[] = {
    {"verdict", "verdict"},           {"rest_drive", "drive at rest"},  {"max_drive", "highest drive"},
    {"start_drive", "start point"},   {"largest_step", "largest step"}, {"moves_against", "moves against"},
    {"full_spread", "spread at full"}, {"bounces", "bounces"},          {"records_per_s", "records a second"},
};
} // namespace

std::string PastCheck::Get(const std::string& name) const {
    const auto it = columns.find(name);
    return it == columns.end() ? std::string() : it->second;
}

std::string ChecksCsvHeader() { return "time,unit," + CheckCsvHeader(); }

std::string ChecksCsvRow(const CheckReport& report) {
    return report.time.toString(Qt::ISODate).toStdString() + ',' + Quoted(report.unit.toStdString()) + ',' +
           CheckCsvRow(report.result);
}

std::vector<std::string> SplitCsvLine(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') fields.back() += '"', ++i;
            else if (c == '"') quoted = false;
            else fields.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r' && c != '\n') {
            fields.back() += c;
        }
    }
    return fields;
}

std::vector<PastCheck> PastChecksOf(const std::string& csvText, int car) {
    std::vector<PastCheck> checks;
    std::istringstream in(csvText);
    std::string line;
    std::vector<std::string> names;
    while (std::getline(in, line)) {
        if (line.empty() || line == "\r") continue;
        std::vector<std::string> fields = SplitCsvLine(line);
        if (!fields.empty() && fields.front() == "time") {  // a header: a later program may add columns
            names = std::move(fields);
            continue;
        }
        if (names.empty()) continue;
        PastCheck check;
        for (size_t i = 0; i < fields.size() && i < names.size(); ++i) check.columns[names[i]] = fields[i];
        if (check.Get("car") == std::to_string(car)) checks.push_back(std::move(check));
    }
    return checks;
}

std::vector<std::string> ChangesSince(const PastCheck& before, const PastCheck& now) {
    std::vector<std::string> changes;
    for (const auto& [column, words] : kFollowed) {
        const std::string a = before.Get(column), b = now.Get(column);
        if (a == b) continue;
        changes.push_back(std::string(words) + " " + (a.empty() ? "-" : a) + " \u2192 " + (b.empty() ? "-" : b));
    }
    return changes;
}

QString ReportFileName(const CheckReport& report) {
    return QStringLiteral("check-%1-car%2.pdf")
        .arg(report.time.toString(QStringLiteral("yyyyMMdd-HHmmss")))
        .arg(report.result.figures.car);
}

bool WriteReportPdf(const CheckReport& report, const QString& path, const QFont& font, QString& error) {
    QPdfWriter pdf(path);
    pdf.setResolution(96);  // a pixel of the pictures is a pixel of the page
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setTitle(QStringLiteral("Throttle check, car %1").arg(report.result.figures.car));
    pdf.setCreator(QStringLiteral("Torvane Throttle Setup"));
    QPainter p;
    if (!p.begin(&pdf)) {
        error = QStringLiteral("%1 could not be written").arg(toolkit::DisplayText(path));
        return false;
    }
    const int width = pdf.width();
    QFont title = font;
    title.setPixelSize(22);
    title.setBold(true);
    p.setFont(title);
    int y = 0;
    p.drawText(QRect(0, y, width, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Throttle check, car %1").arg(report.result.figures.car));
    y += 34;
    p.setFont(font);
    const QFontMetrics metrics(font);
    const int line = metrics.height() + 4;
    const QString unit = report.unit.isEmpty() ? QStringLiteral("not named") : report.unit;
    for (const QString& text : {QStringLiteral("Unit: %1").arg(unit),
                                QStringLiteral("Date and time: %1").arg(report.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                                QStringLiteral("Verdict: %1").arg(QString::fromStdString(VerdictLine(report.result)))}) {
        p.drawText(QRect(0, y, width, line), Qt::AlignLeft | Qt::AlignVCenter, text);
        y += line;
    }
    y += 8;
    for (const chart::Picture* picture : {&report.table, &report.sweep, &report.strip}) {
        p.save();
        p.translate(0, y);
        const qreal scale = picture->width > width ? qreal(width) / picture->width : 1.0;
        p.scale(scale, scale);
        chart::DrawLayers(p, *picture, font);
        p.restore();
        y += static_cast<int>(picture->height * std::min<qreal>(1.0, qreal(width) / std::max(picture->width, 1))) + 12;
    }
    if (!p.end()) {
        error = QStringLiteral("%1 could not be written").arg(toolkit::DisplayText(path));
        return false;
    }
    return true;
}

namespace {

// Every reading and writing of the checks folder in this program holds it, so that a row is
// appended whole and never read half written, whichever window's job comes first.
std::mutex& ChecksFolderLock() {
    static std::mutex lock;
    return lock;
}

// The caller holds the lock.
std::vector<PastCheck> ReadHistoryLocked(const std::filesystem::path& folder, int car) {
    std::ifstream in(folder / kCsvName, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return PastChecksOf(text.str(), car);
}

struct Kept {
    QString pdfPath, error;
    int car = 0;
    std::vector<PastCheck> history;
};

Kept WriteReport(const std::filesystem::path& folder, const CheckReport& report, const QFont& font) {
    std::lock_guard<std::mutex> lock(ChecksFolderLock());
    Kept kept;
    kept.car = report.result.figures.car;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    kept.pdfPath = toolkit::TextFromPath(folder / toolkit::PathFromText(ReportFileName(report)));
    if (ec) kept.error = QStringLiteral("The checks folder %1 could not be made: %2")
                             .arg(toolkit::DisplayText(toolkit::TextFromPath(folder)), QString::fromLocal8Bit(ec.message()));
    else WriteReportPdf(report, kept.pdfPath, font, kept.error);
    const std::filesystem::path csv = folder / kCsvName;
    if (!ec) {
        const bool fresh = !std::filesystem::exists(csv, ec) || std::filesystem::file_size(csv, ec) == 0;
        std::ofstream out(csv, std::ios::binary | std::ios::app);
        if (fresh) out << ChecksCsvHeader();
        out << ChecksCsvRow(report);
        out.flush();
        if (!out && kept.error.isEmpty()) kept.error = QStringLiteral("%1 could not be written").arg(toolkit::DisplayText(toolkit::TextFromPath(csv)));
    }
    kept.history = ReadHistoryLocked(folder, kept.car);
    return kept;
}

std::vector<PastCheck> ReadHistory(const std::filesystem::path& folder, int car) {
    std::lock_guard<std::mutex> lock(ChecksFolderLock());
    return ReadHistoryLocked(folder, car);
}

} // namespace

CheckReports::CheckReports(std::filesystem::path folder, QObject* parent) : QObject(parent), FFolder(std::move(folder)) {
    FFont.setPixelSize(12);
}

CheckReports::~CheckReports() = default;

void CheckReports::Keep(CheckReport report) {
    // A report still being written as the window goes is finished by its own thread.
    FJobs.Start<Kept>([folder = FFolder, font = FFont, report = std::move(report)](toolkit::BackgroundJobs::Job&) {
                          return WriteReport(folder, report, font);
                      },
                      [this](const Kept& kept) {
                          if (Written) Written(kept.error.isEmpty() ? kept.pdfPath : QString(), kept.error);
                          if (History) History(kept.car, kept.history);
                      });
}

void CheckReports::ExportWorkbook(const QString& destination, std::optional<int> car) {
    FJobs.Start<workbook::ExportResult>(
        [checks = FFolder / kCsvName, to = toolkit::PathFromText(destination), car](toolkit::BackgroundJobs::Job&) {
            workbook::ChecksExportOptions options;
            options.car = car;
            std::lock_guard<std::mutex> lock(ChecksFolderLock());
            return workbook::ExportChecksWorkbook(checks, to, options);
        },
        [this, destination](const workbook::ExportResult& result) {
            if (Exported) Exported(destination, result);
        });
}

void CheckReports::LoadHistory(int car) {
    FJobs.Start<std::vector<PastCheck>>([folder = FFolder, car](toolkit::BackgroundJobs::Job&) { return ReadHistory(folder, car); },
                                        [this, car](const std::vector<PastCheck>& history) {
                                            if (History) History(car, history);
                                        });
}

} // namespace check::ui
