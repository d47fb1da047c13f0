// One picture drawn three ways: as the canvases paint it (the kept frame reused), as a PNG, and
// as SVG. The pixels agree exactly; the SVG holds the same lines, boxes, texts and curves at the
// same places, legend included.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QXmlStreamReader>

#include <string>
#include <vector>

#include "app/chart/Picture.h"
#include "app/chart/qt/PictureDrawing.h"

namespace {

using chart::Picture;

Picture Fixed(const QFont& font) {
    chart::PictureRequest r;
    r.width = 500;
    r.height = 320;
    const chart::PlotLayout layout = chart::PlotLayout::For(r.width, r.height);
    r.axis.ticks = {{layout.drive.Left(), 0, "1:50"}, {layout.drive.Left() + 200, 1, "3:00"}, {layout.drive.Right(), 2, "3:10"}};
    r.axis.changes = {{layout.drive.Left() + 200, 1, 120}};
    r.cars = {{4, chart::CarColour(0), false}, {9, chart::CarColour(1), true}, {11, chart::CarColour(2), false}};
    r.columnsOf = [](uint8_t car, int columns, std::vector<chart::Column>& out) {
        out.assign(static_cast<size_t>(columns), chart::Column{});
        for (int c = car == 4 ? 0 : 100; c < columns; c += car == 4 ? 1 : 3) {
            chart::Column& e = out[static_cast<size_t>(c)];
            e.records = 2;
            e.driveFirst = e.driveMin = static_cast<uint8_t>(c % 256);
            e.driveMax = e.driveLast = static_cast<uint8_t>((c * 7) % 256);
            e.brakeFirst = e.brakeMin = e.brakeMax = e.brakeLast = car;
            e.laneChange = c % 50 == 0;
            e.laneDrive = 200;
        }
    };
    r.msPerColumn = 100;
    r.cursorX = layout.drive.Left() + 120;
    r.rangeX = std::make_pair(layout.drive.Left() + 10, layout.drive.Left() + 60);
    r.note = "a note";
    r.corner = "Paused";
    r.textWidth = chart::WidthIn(font);
    Picture pic = chart::BuildPicture(r);
    chart::AddLegend(pic, r.cars, 14, r.textWidth);
    return pic;
}

QString Num(double v) { return QString::number(v, 'f', 1); }

TEST(PictureDrawingTest, TheScreenImageThePngAndTheSvgAreOnePicture) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    const Picture pic = Fixed(font);

    chart::PictureImage canvas;
    const QImage first = canvas.Draw(pic, font);
    const QImage screen = canvas.Draw(pic, font);  // the kept frame, as every later paint
    EXPECT_EQ(screen, first);
    const QImage once = chart::DrawPicture(pic, font);
    ASSERT_EQ(once.size(), QSize(pic.width, pic.height));
    EXPECT_EQ(screen, once);
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(once.save(&buffer, "PNG"));
    EXPECT_EQ(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32), screen);
    // The legend is in the pixels: the first car's swatch.
    const chart::Box& swatch = pic.legend.boxes.front();
    EXPECT_EQ(screen.pixel(swatch.rect.x + 2, swatch.rect.y + 2), QColor::fromRgba(chart::CarColour(0)).rgb());

    // On a screen of two device pixels a pixel: the same picture at twice the size, the curves
    // still where the picture puts them.
    chart::PictureImage scaled;
    const QImage twice = scaled.Draw(pic, font, 2.0);
    ASSERT_EQ(twice.size(), QSize(2 * pic.width, 2 * pic.height));
    EXPECT_EQ(twice.deviceIndependentSize().toSize(), QSize(pic.width, pic.height)) << "drawn at the picture's size";
    EXPECT_EQ(twice.pixel(2 * swatch.rect.x + 4, 2 * swatch.rect.y + 4), QColor::fromRgba(chart::CarColour(0)).rgb());
    const chart::Point start = pic.cars.front().drive.front().front();
    EXPECT_EQ(twice.pixel(2 * start.x, 2 * start.y), screen.pixel(start.x, start.y));

    // The SVG: every element of the display list, in its group, where the list puts it.
    QStringList lines, boxes, texts, polylines;
    QXmlStreamReader xml(chart::PictureToSvg(pic, font));
    QString group;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QXmlStreamAttributes a = xml.attributes();
        const auto at = [&](const char* name) { return a.value(QLatin1String(name)).toString(); };
        if (xml.name() == QLatin1String("g")) group = at("id");
        else if (xml.name() == QLatin1String("clipPath")) group = QStringLiteral("clip");
        else if (xml.name() == QLatin1String("line")) lines << group + ' ' + at("x1") + ',' + at("y1") + ' ' + at("x2") + ',' + at("y2") + ' ' + at("stroke");
        else if (xml.name() == QLatin1String("rect") && group.startsWith(QLatin1String("car-"))) boxes << group + " mark " + at("x") + ',' + at("y");
        else if (xml.name() == QLatin1String("rect") && !group.isEmpty() && group != QLatin1String("clip")) boxes << group + ' ' + at("x") + ',' + at("y");
        else if (xml.name() == QLatin1String("text")) texts << group + ' ' + xml.readElementText();
        else if (xml.name() == QLatin1String("polyline")) polylines << group + ' ' + at("points");
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();

    QStringList wantLines, wantBoxes, wantTexts, wantPolylines;
    const auto layer = [&](const chart::Layer& l, const QString& name) {
        for (const chart::Line& line : l.lines) {
            wantLines << name + ' ' + Num(line.from.x + 0.5) + ',' + Num(line.from.y + 0.5) + ' ' + Num(line.to.x + 0.5) + ',' +
                             Num(line.to.y + 0.5) + ' ' + QColor::fromRgba(line.colour).name();
        }
        for (const chart::Box& b : l.boxes) {
            wantBoxes << name + ' ' + (b.filled ? QString::number(b.rect.x) + ',' + QString::number(b.rect.y)
                                                : Num(b.rect.x + 0.5) + ',' + Num(b.rect.y + 0.5));
        }
        for (const chart::Text& t : l.texts) wantTexts << name + ' ' + QString::fromStdString(t.text);
    };
    layer(pic.frame, QStringLiteral("frame"));
    for (const chart::CarCurves& car : pic.cars) {
        const QString name = QStringLiteral("car-%1").arg(car.car);
        for (const auto* curves : {&car.drive, &car.brake}) {
            for (const std::vector<chart::Point>& line : *curves) {
                QStringList points;
                for (const chart::Point& p : line) points << Num(p.x + 0.5) + ',' + Num(p.y + 0.5);
                wantPolylines << name + ' ' + points.join(' ');
            }
        }
        for (const chart::Rect& m : car.laneMarks) wantBoxes << name + " mark " + QString::number(m.x) + ',' + QString::number(m.y);
    }
    layer(pic.overlay, QStringLiteral("overlay"));
    layer(pic.legend, QStringLiteral("legend"));
    // The SVG lists the cars' marks before the overlay's boxes; order within each kind is kept.
    boxes.sort();
    wantBoxes.sort();
    EXPECT_EQ(lines.join('\n').toStdString(), wantLines.join('\n').toStdString());
    EXPECT_EQ(boxes.join('\n').toStdString(), wantBoxes.join('\n').toStdString());
    EXPECT_EQ(texts.join('\n').toStdString(), wantTexts.join('\n').toStdString());
    EXPECT_EQ(polylines.join('\n').toStdString(), wantPolylines.join('\n').toStdString());
    EXPECT_TRUE(texts.contains(QStringLiteral("legend Car 9 (hidden)")));
    EXPECT_TRUE(texts.contains(QStringLiteral("overlay UTC+02:00")));
    EXPECT_FALSE(polylines.filter(QStringLiteral("car-9 ")).size() > 0) << "a hidden car is listed, not drawn";
}

} // namespace
