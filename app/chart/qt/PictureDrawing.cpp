#include "app/chart/qt/PictureDrawing.h"

#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QString>

#include <cmath>

#include "app/chart/qt/Raster.h"

namespace chart {

namespace {
QRect ToQt(const Rect& r) { return {r.x, r.y, r.width, r.height}; }
QColor ToQt(Argb c) { return QColor::fromRgba(c); }
QString ToQt(const std::string& s) { return QString::fromStdString(s); }

Qt::Alignment ToQt(Align a) {
    switch (a) {
    case Align::Left: return Qt::AlignLeft | Qt::AlignVCenter;
    case Align::Centre: return Qt::AlignHCenter | Qt::AlignVCenter;
    case Align::Right: return Qt::AlignRight | Qt::AlignVCenter;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

void DrawLayer(QPainter& p, const Layer& layer, const QFont& font) {
    for (const Line& l : layer.lines) {
        p.setPen(ToQt(l.colour));
        p.drawLine(l.from.x, l.from.y, l.to.x, l.to.y);
    }
    for (const Box& b : layer.boxes) {
        if (b.filled) {
            p.fillRect(ToQt(b.rect), ToQt(b.colour));
        } else {
            p.setPen(ToQt(b.colour));
            p.setBrush(Qt::NoBrush);
            p.drawRect(ToQt(b.rect).adjusted(0, 0, -1, -1));
        }
    }
    QFont bold = font;
    bold.setBold(true);
    for (const Text& t : layer.texts) {
        p.setFont(t.bold ? bold : font);
        p.setPen(ToQt(t.colour));
        p.drawText(ToQt(t.box), ToQt(t.align), ToQt(t.text));
    }
}

// The picture's pixels on the image's device pixels: curves stay one device pixel wide.
class DevicePixels {
public:
    explicit DevicePixels(qreal ratio) : FRatio(ratio) {}
    int operator()(int v) const { return FRatio == 1.0 ? v : static_cast<int>(std::floor(v * FRatio)); }
    QPoint At(const Point& p) const { return {(*this)(p.x), (*this)(p.y)}; }
    // Every device pixel of the picture's pixels left to right, top to bottom.
    QRect Of(const QRect& r) const {
        return QRect(QPoint((*this)(r.left()), (*this)(r.top())), QPoint((*this)(r.right() + 1) - 1, (*this)(r.bottom() + 1) - 1));
    }

private:
    qreal FRatio;
};

// A curve's vertical runs (a column's spread, most of a dense picture's pixels) filled as
// rectangles, the rest drawn as lines.
void DrawCurve(Raster& raster, const std::vector<Point>& line, QRgb colour, const DevicePixels& device, QPolygon& slanted) {
    slanted.clear();
    for (size_t i = 0; i < line.size(); ++i) {
        const QPoint at = device.At(line[i]);
        if (i > 0 && line[i - 1].x == line[i].x) {
            const QPoint from = slanted.constLast();
            raster.Fill(QRect(QPoint(at.x(), std::min(from.y(), at.y())), QPoint(at.x(), std::max(from.y(), at.y()))), colour);
            if (slanted.size() > 1) raster.Polyline(slanted, colour);
            slanted.clear();
        }
        slanted.append(at);
    }
    if (slanted.size() > 1 || line.size() == 1) raster.Polyline(slanted, colour);
}

void DrawCars(QImage& image, const Picture& pic) {
    const DevicePixels device(image.devicePixelRatio());
    const PlotLayout& l = pic.layout;
    Raster raster(image, device.Of(ToQt(l.drive).united(ToQt(l.brake)).adjusted(1, 1, -1, -1)));
    QPolygon slanted;
    for (const CarCurves& car : pic.cars) {
        const QRgb colour = car.colour;
        for (const auto& line : car.drive) DrawCurve(raster, line, colour, device, slanted);
        for (const auto& line : car.brake) DrawCurve(raster, line, colour, device, slanted);
        for (const Rect& mark : car.laneMarks) raster.Fill(device.Of(ToQt(mark)), colour);
    }
}

void DrawAbove(QImage& image, const Picture& pic, const QFont& font) {
    DrawCars(image, pic);
    QPainter p(&image);
    DrawLayer(p, pic.overlay, font);
    DrawLayer(p, pic.legend, font);
}

QImage FrameImage(const Picture& pic, const QFont& font, qreal pixelRatio) {
    QImage image(static_cast<int>(std::ceil(pic.width * pixelRatio)), static_cast<int>(std::ceil(pic.height * pixelRatio)),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::white);
    QPainter p(&image);
    DrawLayer(p, pic.frame, font);
    return image;
}

// SVG.
QString Num(double v) { return QString::number(v, 'f', 1); }
QString Colour(Argb c) { return QColor::fromRgba(c).name(QColor::HexRgb); }
QString Opacity(Argb c) {
    const int alpha = static_cast<int>(c >> 24);
    return alpha == 255 ? QString() : QStringLiteral(" fill-opacity=\"%1\"").arg(alpha / 255.0, 0, 'f', 3);
}

void SvgLayer(QString& s, const Layer& layer, const char* id) {
    s += QStringLiteral("<g id=\"%1\">\n").arg(QLatin1String(id));
    // Pixel centres, so 1-pixel lines fall on the same pixels as in the window.
    for (const Line& l : layer.lines) {
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"%5\"/>\n")
                 .arg(Num(l.from.x + 0.5), Num(l.from.y + 0.5), Num(l.to.x + 0.5), Num(l.to.y + 0.5), Colour(l.colour));
    }
    for (const Box& b : layer.boxes) {
        if (b.filled) {
            s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"%6/>\n")
                     .arg(b.rect.x).arg(b.rect.y).arg(b.rect.width).arg(b.rect.height).arg(Colour(b.colour), Opacity(b.colour));
        } else {
            s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"none\" stroke=\"%5\"/>\n")
                     .arg(Num(b.rect.x + 0.5), Num(b.rect.y + 0.5))
                     .arg(b.rect.width - 1)
                     .arg(b.rect.height - 1)
                     .arg(Colour(b.colour));
        }
    }
    for (const Text& t : layer.texts) {
        const double x = t.align == Align::Left ? t.box.x : t.align == Align::Right ? t.box.x + t.box.width : t.box.x + t.box.width / 2.0;
        const char* anchor = t.align == Align::Left ? "start" : t.align == Align::Right ? "end" : "middle";
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"%3\" dominant-baseline=\"middle\" fill=\"%4\"%5>%6</text>\n")
                 .arg(Num(x), Num(t.box.y + t.box.height / 2.0), QLatin1String(anchor), Colour(t.colour),
                      t.bold ? QStringLiteral(" font-weight=\"bold\"") : QString(), ToQt(t.text).toHtmlEscaped());
    }
    s += QStringLiteral("</g>\n");
}
} // namespace

const QImage& PictureImage::Draw(const Picture& picture, const QFont& font, qreal pixelRatio) {
    if (FFrame.isNull() || FWidth != picture.width || FHeight != picture.height || FPixelRatio != pixelRatio ||
        !(FFrameLayer == picture.frame) || FFrameFont != font) {
        FFrame = FrameImage(picture, font, pixelRatio);
        FPixelRatio = pixelRatio;
        FFrameLayer = picture.frame;
        FFrameFont = font;
        FWidth = picture.width;
        FHeight = picture.height;
    }
    FImage = FFrame;  // shares until the first pixel is drawn, then copies
    DrawAbove(FImage, picture, font);
    return FImage;
}

void DrawLayers(QPainter& painter, const Picture& picture, const QFont& font) {
    DrawLayer(painter, picture.frame, font);
    DrawLayer(painter, picture.overlay, font);
    DrawLayer(painter, picture.legend, font);
}

QImage DrawPicture(const Picture& picture, const QFont& font) {
    QImage image = FrameImage(picture, font, 1.0);
    DrawAbove(image, picture, font);
    return image;
}

QByteArray PictureToSvg(const Picture& pic, const QFont& font) {
    QString s;
    const int fontPx = font.pixelSize() > 0 ? font.pixelSize() : static_cast<int>(std::lround(font.pointSizeF() * 96.0 / 72.0));
    s += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    s += QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" "
                        "font-family=\"%3, sans-serif\" font-size=\"%4\">\n")
             .arg(pic.width)
             .arg(pic.height)
             .arg(font.family().toHtmlEscaped())
             .arg(fontPx);
    s += QStringLiteral("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n");
    SvgLayer(s, pic.frame, "frame");
    const PlotLayout& l = pic.layout;
    s += QStringLiteral("<clipPath id=\"panes\">");
    for (const Rect& a : {l.drive, l.brake}) {
        s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/>")
                 .arg(a.x + 1).arg(a.y + 1).arg(std::max(a.width - 2, 0)).arg(std::max(a.height - 2, 0));
    }
    s += QStringLiteral("</clipPath>\n");
    for (const CarCurves& car : pic.cars) {
        s += QStringLiteral("<g id=\"car-%1\" stroke=\"%2\" fill=\"none\" clip-path=\"url(#panes)\">\n").arg(car.car).arg(Colour(car.colour));
        for (const auto* lines : {&car.drive, &car.brake}) {
            for (const std::vector<Point>& line : *lines) {
                s += QStringLiteral("<polyline points=\"");
                for (size_t i = 0; i < line.size(); ++i) {
                    if (i > 0) s += QLatin1Char(' ');
                    s += Num(line[i].x + 0.5) + QLatin1Char(',') + Num(line[i].y + 0.5);
                }
                s += QStringLiteral("\"/>\n");
            }
        }
        for (const Rect& mark : car.laneMarks) {
            s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\" stroke=\"none\"/>\n")
                     .arg(mark.x).arg(mark.y).arg(mark.width).arg(mark.height).arg(Colour(car.colour));
        }
        s += QStringLiteral("</g>\n");
    }
    SvgLayer(s, pic.overlay, "overlay");
    SvgLayer(s, pic.legend, "legend");
    s += QStringLiteral("</svg>\n");
    return s.toUtf8();
}

TextWidth WidthIn(const QFont& font) {
    return [metrics = QFontMetrics(font)](std::string_view text) {
        return metrics.horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    };
}

} // namespace chart
