// Table paint benchmark: a grid laid out as the main window's table (6 x 32, the same column
// widths and row height), every data row rewritten between frames as at line rate, for FRAMES
// frames offscreen, each painted when the grid's own frame timer asks for it. Prints one JSON
// line: main-thread CPU per frame for the repaint (Qt's repaint machinery included) and for the
// cell writes alone.
#include <QApplication>
#include <QString>
#include <QWindow>

#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "toolkit/qt/StringGrid.h"

namespace {

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

QString TimeText(int record) {
    const int ms = (record * 7) % 1000;
    const int s = 3 + record / 5000;
    return QStringLiteral("9:05:%1.%2").arg(s % 60, 2, 10, QLatin1Char('0')).arg(ms, 3, 10, QLatin1Char('0'));
}

void WriteFrame(TStringGrid& grid, int& record) {
    // About 86 records a frame at line rate: every data row is rewritten at least twice.
    for (int i = 0; i < 86; ++i, ++record) {
        const int row = 1 + record % 31;
        grid.SetCell(0, row, QString::number(1 + record % 4));
        grid.SetCell(1, row, TimeText(record));
        grid.SetCell(2, row, QString::number(record % 3) + (record % 2 ? QStringLiteral(" L*") : QStringLiteral(" R")));
        grid.SetCell(3, row, QString::number((record * 13) % 256));
        grid.SetCell(4, row, QString::number((record * 29) % 256));
        grid.SetCell(5, row, record % 5 == 0 ? QStringLiteral("Yes") : QStringLiteral("No"));
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const char* framesText = std::getenv("FRAMES");
    const int frames = framesText != nullptr ? std::atoi(framesText) : 200;
    TStringGrid grid;
    grid.resize(569, 681);
    grid.SetColCount(6);
    grid.SetRowCount(32);
    grid.SetDefaultColWidth(72);
    grid.SetDefaultRowHeight(20);
    const int widths[] = {72, 197, 72, 72, 72, 72};
    const char* headers[] = {"Car", "Time", "Last LB", "Drive PWM", "Brake PWM", "Lane Change"};
    for (int c = 0; c < 6; ++c) {
        grid.SetColWidth(c, widths[c]);
        grid.SetCell(c, 0, QString::fromLatin1(headers[c]));
    }
    grid.setEnabled(false);
    grid.show();
    while (grid.windowHandle() == nullptr || !grid.windowHandle()->isExposed()) QApplication::processEvents();
    int record = 0;
    const auto writeAndAwaitPaint = [&] {
        WriteFrame(grid, record);
        const quint64 before = grid.PaintCount();
        while (grid.PaintCount() == before) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    for (int i = 0; i < 50; ++i) writeAndAwaitPaint();  // warm the text cache
    const quint64 paintsBefore = grid.PaintCount();
    const double start = ThreadCpuMs();
    for (int i = 0; i < frames; ++i) writeAndAwaitPaint();
    const double writeAndPaint = ThreadCpuMs() - start;
    const double writeStart = ThreadCpuMs();
    for (int i = 0; i < frames; ++i) WriteFrame(grid, record);
    const double writeOnly = ThreadCpuMs() - writeStart;
    std::printf("{\"frames\": %d, \"paints\": %llu, \"paint_ms_per_frame\": %.4f, \"cell_writes_ms_per_frame\": %.4f}\n",
                frames, static_cast<unsigned long long>(grid.PaintCount() - paintsBefore),
                (writeAndPaint - writeOnly) / frames, writeOnly / frames);
    return 0;
}
