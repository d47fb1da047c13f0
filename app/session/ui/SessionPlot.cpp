#include "app/session/ui/SessionPlot.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

#include "app/plot/PlotCanvas.h"
#include "app/plot/PlotMargins.h"
#include "app/plot/Raster.h"
#include "app/session/SessionData.h"

namespace session::ui {

namespace {
// The live plot's margins, so the two look alike.
using plot::kBottom;
using plot::kGap;
using plot::kLeft;
using plot::kRight;
using plot::kTickHalf;
using plot::kTop;
using plot::kValueLines;
const char* const kPaneTitles[] = {"Drive PWM", "Brake PWM"};
const QColor kValueLineColour(225, 225, 225);
const QColor kTimeLineColour(238, 238, 238);
const QColor kTextColour(0, 0, 0);
const QColor kCursorColour(0, 0, 0);
const QColor kRangeColour(0, 120, 215, 56);

constexpr int64_t kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute, kDay = 24 * kHour;
constexpr int64_t kTickSteps[] = {1, 2, 5, 10, 20, 50, 100, 200, 500,
                                  kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
                                  kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
                                  kHour, 2 * kHour, 3 * kHour, 6 * kHour, 12 * kHour, kDay};

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

int YForValue(const QRect& pane, int value) {
    return pane.bottom() - static_cast<int>(std::lround(value * (pane.height() - 1) / 255.0));
}

// One pane's curve of one car from its columns: each column a vertical run through its first,
// extreme and last values, joined to the next column's first, so a spike narrower than a pixel
// still shows its peak. A silence longer than kLineBreakMs starts a new line.
class CurveBuilder {
public:
    CurveBuilder(const QRect& pane, std::vector<QPolygon>& out) : FPane(pane), FOut(out) {}

    void Column(int x, uint8_t first, uint8_t min, uint8_t max, uint8_t last, bool breakBefore) {
        if (breakBefore || FOut.empty()) FOut.emplace_back();
        // Of the two extremes the one nearer the first value comes first.
        const bool minFirst = std::abs(first - min) <= std::abs(first - max);
        Add(x, first);
        Add(x, minFirst ? min : max);
        Add(x, minFirst ? max : min);
        Add(x, last);
    }

private:
    void Add(int x, uint8_t value) {
        const QPoint at(x, YForValue(FPane, value));
        QPolygon& line = FOut.back();
        if (line.isEmpty() || line.constLast() != at) line.append(at);
    }
    QRect FPane;
    std::vector<QPolygon>& FOut;
};

// A curve's vertical runs (a column's spread, most of a dense picture's pixels) filled as
// rectangles, the rest drawn as lines.
void DrawCurve(plot::Raster& raster, const QPolygon& line, QRgb colour, QPolygon& slanted) {
    slanted.clear();
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QPoint at = line[i];
        if (i > 0 && line[i - 1].x() == at.x()) {
            const QPoint from = line[i - 1];
            raster.Fill(QRect(QPoint(at.x(), std::min(from.y(), at.y())), QPoint(at.x(), std::max(from.y(), at.y()))), colour);
            if (slanted.size() > 1) raster.Polyline(slanted, colour);
            slanted.clear();
        }
        slanted.append(at);
    }
    if (slanted.size() > 1 || line.size() == 1) raster.Polyline(slanted, colour);
}

QString Escaped(const QString& text) { return text.toHtmlEscaped(); }

QString SvgColour(QRgb rgb) { return QColor(rgb).name(QColor::HexRgb); }
} // namespace

PlotLayout PlotLayout::For(QSize size) {
    const int paneHeight = (size.height() - kTop - kGap - kBottom - kTop) / 2;
    const int width = size.width() - kLeft - kRight;
    PlotLayout l;
    l.drive = QRect(kLeft, kTop, std::max(width, 0), std::max(paneHeight, 0));
    l.brake = QRect(kLeft, kTop + paneHeight + kGap + kTop, l.drive.width(), l.drive.height());
    l.axis = QRect(kLeft, l.brake.bottom() + 1, l.drive.width(), kBottom);
    return l;
}

QColor SessionCarColour(size_t index) { return plot::CarColour(index); }

double XForTime(const PlotLayout& layout, const TimeView& view, int64_t timeMs) {
    const double span = static_cast<double>(std::max<int64_t>(view.SpanMs(), 1));
    return layout.drive.left() + static_cast<double>(timeMs - view.startMs) * layout.drive.width() / span;
}

int64_t TimeForX(const PlotLayout& layout, const TimeView& view, double x) {
    const double width = std::max(layout.drive.width(), 1);
    return view.startMs + static_cast<int64_t>(std::llround((x - layout.drive.left()) * static_cast<double>(view.SpanMs()) / width));
}

int64_t TickStepMs(int64_t spanMs, int widthPx, int minSpacingPx) {
    const double msPerPx = static_cast<double>(std::max<int64_t>(spanMs, 1)) / std::max(widthPx, 1);
    for (int64_t step : kTickSteps) {
        if (static_cast<double>(step) / msPerPx >= minSpacingPx) return step;
    }
    // Beyond a day a label a day apart is still readable as a time of day; spread them out.
    const auto days = static_cast<int64_t>(std::ceil(minSpacingPx * msPerPx / static_cast<double>(kDay)));
    return days * kDay;
}

QString TickLabel(int64_t timeMs, int utcOffsetMinutes, int64_t stepMs, const std::string& timeSeparator) {
    const int64_t local = timeMs + int64_t{utcOffsetMinutes} * kMinute;
    const int64_t ofDay = local - FloorDiv(local, kDay) * kDay;
    const QString sep = QString::fromStdString(timeSeparator);
    QString text = QString::number(ofDay / kHour) + sep + QStringLiteral("%1").arg(ofDay / kMinute % 60, 2, 10, QLatin1Char('0'));
    if (stepMs % kMinute != 0) text += sep + QStringLiteral("%1").arg(ofDay / kSecond % 60, 2, 10, QLatin1Char('0'));
    if (stepMs % kSecond != 0) text += QStringLiteral(".%1").arg(ofDay % kSecond, 3, 10, QLatin1Char('0'));
    return text;
}

PlotPicture BuildPicture(const PictureRequest& r) {
    PlotPicture pic;
    pic.size = r.size;
    pic.layout = PlotLayout::For(r.size);
    const PlotLayout& l = pic.layout;
    if (!l.Usable() || r.view.SpanMs() <= 0) return pic;

    const int offset = r.data != nullptr ? r.data->UtcOffsetMinutesAt(r.view.startMs) : 0;
    const int64_t step = TickStepMs(r.view.SpanMs(), l.drive.width(), r.minTickSpacingPx);
    const int64_t offsetMs = int64_t{offset} * kMinute;
    // Ticks fall on round local times.
    for (int64_t local = FloorDiv(r.view.startMs + offsetMs + step - 1, step) * step; local - offsetMs <= r.view.endMs;
         local += step) {
        const int64_t t = local - offsetMs;
        pic.ticks.push_back({static_cast<int>(std::lround(XForTime(l, r.view, t))), TickLabel(t, offset, step, r.timeSeparator)});
    }
    if (r.cursorMs && *r.cursorMs >= r.view.startMs && *r.cursorMs <= r.view.endMs) {
        pic.cursorX = std::min(static_cast<int>(std::floor(XForTime(l, r.view, *r.cursorMs))), l.drive.right());
    }
    if (r.data == nullptr) return pic;

    const int columns = l.drive.width();
    const double msPerColumn = static_cast<double>(r.view.SpanMs()) / columns;
    std::vector<ColumnExtent> extents;
    const std::vector<uint8_t>& cars = r.data->Cars();
    for (size_t i = 0; i < cars.size(); ++i) {
        const uint8_t car = cars[i];
        if (r.hidden != nullptr && (*r.hidden)[car]) continue;
        r.data->QueryColumns(car, r.view.startMs, r.view.endMs, columns, extents);
        CarCurves curves;
        curves.car = car;
        curves.colour = SessionCarColour(i).rgb();
        CurveBuilder drive(l.drive, curves.drive), brake(l.brake, curves.brake);
        int lastColumn = -1;
        for (int c = 0; c < columns && c < static_cast<int>(extents.size()); ++c) {
            const ColumnExtent& e = extents[static_cast<size_t>(c)];
            if (e.records == 0) continue;
            const bool silence = lastColumn >= 0 && (c - lastColumn - 1) * msPerColumn >= static_cast<double>(kLineBreakMs);
            const int x = l.drive.left() + c;
            drive.Column(x, e.driveFirst, e.driveMin, e.driveMax, e.driveLast, silence);
            brake.Column(x, e.brakeFirst, e.brakeMin, e.brakeMax, e.brakeLast, silence);
            if (e.laneChange) {
                curves.laneMarks.emplace_back(x - 1, YForValue(l.drive, e.laneDrive) - kTickHalf, 3, 2 * kTickHalf + 1);
            }
            lastColumn = c;
        }
        if (lastColumn >= 0) pic.cars.push_back(std::move(curves));
    }
    return pic;
}

QImage RenderPicture(const PlotPicture& pic, const QFont& font) {
    QImage image(pic.size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    const PlotLayout& l = pic.layout;
    if (!l.Usable()) return image;
    const QRect panes[] = {l.drive, l.brake};
    {
        QPainter p(&image);
        p.setFont(font);
        p.setPen(kTimeLineColour);
        for (const AxisTick& tick : pic.ticks) {
            for (const QRect& a : panes) p.drawLine(tick.x, a.top(), tick.x, a.bottom());
        }
        for (size_t i = 0; i < 2; ++i) {
            const QRect& a = panes[i];
            p.setPen(kValueLineColour);
            for (int v : kValueLines) p.drawLine(a.left(), YForValue(a, v), a.right(), YForValue(a, v));
            p.setPen(kTextColour);
            p.drawRect(a.adjusted(0, 0, -1, -1));
            p.drawText(QRect(a.left(), a.top() - kTop, a.width(), kTop), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::fromLatin1(kPaneTitles[i]));
            for (int v : kValueLines) {
                p.drawText(QRect(0, YForValue(a, v) - 8, kLeft - 4, 16), Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
            }
        }
        for (const AxisTick& tick : pic.ticks) {
            p.drawLine(tick.x, l.brake.bottom(), tick.x, l.brake.bottom() + 3);
            p.drawText(QRect(tick.x - 60, l.axis.top() + 3, 120, kBottom - 3), Qt::AlignHCenter | Qt::AlignTop, tick.label);
        }
    }
    plot::Raster raster(image, l.drive.united(l.brake).adjusted(1, 1, -1, -1));
    QPolygon slanted;
    for (const CarCurves& car : pic.cars) {
        for (const QPolygon& line : car.drive) DrawCurve(raster, line, car.colour, slanted);
        for (const QPolygon& line : car.brake) DrawCurve(raster, line, car.colour, slanted);
        for (const QRect& mark : car.laneMarks) raster.Fill(mark, car.colour);
    }
    QPainter p(&image);
    p.setFont(font);
    if (pic.rangeFromX >= 0 && pic.rangeToX >= 0) {
        const int from = std::min(pic.rangeFromX, pic.rangeToX), to = std::max(pic.rangeFromX, pic.rangeToX);
        for (const QRect& a : panes) p.fillRect(QRect(from, a.top(), to - from + 1, a.height()), kRangeColour);
        p.fillRect(QRect(from, l.axis.top(), to - from + 1, l.axis.height()), kRangeColour);
    }
    if (pic.cursorX >= 0) {
        p.setPen(kCursorColour);
        p.drawLine(pic.cursorX, l.drive.top(), pic.cursorX, l.brake.bottom());
    }
    if (!pic.note.isEmpty()) {
        p.setPen(kTextColour);
        p.drawText(l.drive, Qt::AlignCenter, pic.note);
    }
    return image;
}

QByteArray PictureToSvg(const PlotPicture& pic, const QFont& font) {
    const PlotLayout& l = pic.layout;
    QString s;
    const auto num = [](double v) { return QString::number(v, 'f', 1); };
    const int fontPx = font.pixelSize() > 0 ? font.pixelSize() : static_cast<int>(std::lround(font.pointSizeF() * 96.0 / 72.0));
    s += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    s += QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" "
                        "font-family=\"%3, sans-serif\" font-size=\"%4\">\n")
             .arg(pic.size.width())
             .arg(pic.size.height())
             .arg(Escaped(font.family()))
             .arg(fontPx);
    s += QStringLiteral("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n");
    if (l.Usable()) {
        const QRect panes[] = {l.drive, l.brake};
        // Pixel centres, so 1-pixel lines fall on the same pixels as in the window.
        const auto line = [&](double x1, double y1, double x2, double y2, const QColor& c) {
            s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"%5\"/>\n")
                     .arg(num(x1 + 0.5), num(y1 + 0.5), num(x2 + 0.5), num(y2 + 0.5), c.name());
        };
        const auto text = [&](double x, double y, const char* anchor, const QString& t) {
            s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"%3\" dominant-baseline=\"middle\" fill=\"#000000\">%4</text>\n")
                     .arg(num(x), num(y), QLatin1String(anchor), Escaped(t));
        };
        s += QStringLiteral("<g id=\"frame\">\n");
        for (const AxisTick& tick : pic.ticks) {
            for (const QRect& a : panes) line(tick.x, a.top(), tick.x, a.bottom(), kTimeLineColour);
        }
        for (size_t i = 0; i < 2; ++i) {
            const QRect& a = panes[i];
            for (int v : kValueLines) line(a.left(), YForValue(a, v), a.right(), YForValue(a, v), kValueLineColour);
            s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"none\" stroke=\"#000000\"/>\n")
                     .arg(num(a.left() + 0.5), num(a.top() + 0.5))
                     .arg(a.width() - 1)
                     .arg(a.height() - 1);
            text(a.left(), a.top() - kTop / 2.0, "start", QString::fromLatin1(kPaneTitles[i]));
            for (int v : kValueLines) text(kLeft - 4, YForValue(a, v) + 0.5, "end", QString::number(v));
        }
        for (const AxisTick& tick : pic.ticks) {
            line(tick.x, l.brake.bottom(), tick.x, l.brake.bottom() + 3, kTextColour);
            text(tick.x + 0.5, l.axis.top() + 3 + fontPx / 2.0 + 1, "middle", tick.label);
        }
        s += QStringLiteral("</g>\n<clipPath id=\"panes\">");
        for (const QRect& a : panes) {
            const QRect inside = a.adjusted(1, 1, -1, -1);
            s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/>")
                     .arg(inside.x())
                     .arg(inside.y())
                     .arg(inside.width())
                     .arg(inside.height());
        }
        s += QStringLiteral("</clipPath>\n");
        for (const CarCurves& car : pic.cars) {
            s += QStringLiteral("<g id=\"car-%1\" stroke=\"%2\" fill=\"none\" clip-path=\"url(#panes)\">\n")
                     .arg(car.car)
                     .arg(SvgColour(car.colour));
            for (const auto* lines : {&car.drive, &car.brake}) {
                for (const QPolygon& poly : *lines) {
                    s += QStringLiteral("<polyline points=\"");
                    for (qsizetype i = 0; i < poly.size(); ++i) {
                        if (i > 0) s += QLatin1Char(' ');
                        s += num(poly[i].x() + 0.5) + QLatin1Char(',') + num(poly[i].y() + 0.5);
                    }
                    s += QStringLiteral("\"/>\n");
                }
            }
            for (const QRect& mark : car.laneMarks) {
                s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\" stroke=\"none\"/>\n")
                         .arg(mark.x())
                         .arg(mark.y())
                         .arg(mark.width())
                         .arg(mark.height())
                         .arg(SvgColour(car.colour));
            }
            s += QStringLiteral("</g>\n");
        }
        if (pic.cursorX >= 0) line(pic.cursorX, l.drive.top(), pic.cursorX, l.brake.bottom(), kCursorColour);
        if (!pic.note.isEmpty()) text(l.drive.center().x(), l.drive.center().y(), "middle", pic.note);
    }
    s += QStringLiteral("</svg>\n");
    return s.toUtf8();
}

} // namespace session::ui
