// The plot's display list from a fixed input: curves from pixel columns (a silence breaks the
// line, a hidden car is left out), labels kept inside the picture, no made-up times without an
// axis, and the legend that exported copies carry.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/chart/Picture.h"

namespace {

using chart::Column;
using chart::Picture;
using chart::PictureRequest;

// 8 pixels a character: what the tests' text measure says.
int EightPerCharacter(std::string_view text) { return static_cast<int>(text.size()) * 8; }

// Car 1 has records in columns 0-9 and 200-209 (a silence between), car 2 in every column.
PictureRequest Fixed() {
    PictureRequest r;
    r.width = 400;
    r.height = 300;
    r.cars = {{1, 0xff112233, false}, {2, 0xff445566, false}, {3, 0xff778899, false}};
    r.columnsOf = [](uint8_t car, int columns, std::vector<Column>& out) {
        out.assign(static_cast<size_t>(columns), Column{});
        for (int c = 0; c < columns; ++c) {
            if (car == 1 && !(c < 10 || (c >= 200 && c < 210))) continue;
            if (car == 3) continue;  // nothing in view
            Column& e = out[static_cast<size_t>(c)];
            e.records = 3;
            e.driveFirst = 10;
            e.driveMin = 0;
            e.driveMax = 255;
            e.driveLast = 20;
            e.brakeFirst = e.brakeMin = e.brakeMax = e.brakeLast = 5;
            e.laneChange = car == 2 && c == 50;
            e.laneDrive = 128;
        }
    };
    r.msPerColumn = 10;  // 190 empty columns: 1.9 s of silence
    r.textWidth = EightPerCharacter;
    return r;
}

TEST(PictureTest, CurvesComeFromColumnsAndBreakAtASilence) {
    PictureRequest r = Fixed();
    Picture pic = chart::BuildPicture(r);
    ASSERT_EQ(pic.cars.size(), 2u) << "car 3 has nothing in view";
    EXPECT_EQ(pic.cars[0].drive.size(), 2u) << "car 1's silence breaks its line";
    EXPECT_EQ(pic.cars[1].drive.size(), 1u);
    EXPECT_EQ(pic.cars[1].laneMarks.size(), 1u);
    // A column is a vertical run from its first value through both extremes to its last.
    const std::vector<chart::Point>& line = pic.cars[1].drive[0];
    const chart::Rect& drive = pic.layout.drive;
    ASSERT_GE(line.size(), 4u);
    EXPECT_EQ(line[0], (chart::Point{drive.Left(), chart::YForValue(drive, 10)}));
    EXPECT_EQ(line[1], (chart::Point{drive.Left(), drive.Bottom()}));
    EXPECT_EQ(line[2], (chart::Point{drive.Left(), drive.Top()}));
    EXPECT_EQ(line[3], (chart::Point{drive.Left(), chart::YForValue(drive, 20)}));

    r.msPerColumn = 5;  // 0.95 s: no break
    EXPECT_EQ(chart::BuildPicture(r).cars[0].drive.size(), 1u);
    r.cars[1].hidden = true;
    pic = chart::BuildPicture(r);
    ASSERT_EQ(pic.cars.size(), 1u);
    EXPECT_EQ(pic.cars[0].car, 1);
}

TEST(PictureTest, LabelsStayInsideThePictureAndNoAxisMeansNoTimes) {
    PictureRequest r = Fixed();
    const chart::PlotLayout layout = chart::PlotLayout::For(r.width, r.height);
    r.axis.ticks = {{layout.drive.Left(), 0, "23:59:59.990"}, {layout.drive.Right(), 1, "0:00:00.010"}};
    const Picture pic = chart::BuildPicture(r);
    int tickTexts = 0;
    for (const chart::Text& t : pic.frame.texts) {
        EXPECT_GE(t.box.Left(), 0) << t.text;
        EXPECT_LE(t.box.Right(), pic.width - 1) << t.text;
        if (t.text.find(':') != std::string::npos) {
            ++tickTexts;
            EXPECT_GE(t.box.width, EightPerCharacter(t.text)) << "room for the whole label";
        }
    }
    EXPECT_EQ(tickTexts, 2);

    // Without an axis (a session still being read) the picture shows no time at all.
    PictureRequest loading;
    loading.width = 400;
    loading.height = 300;
    loading.note = "Reading the session...";
    const Picture empty = chart::BuildPicture(loading);
    for (const chart::Text& t : empty.frame.texts) EXPECT_EQ(t.text.find(':'), std::string::npos) << t.text;
    ASSERT_EQ(empty.overlay.texts.size(), 1u);
    EXPECT_EQ(empty.overlay.texts[0].text, "Reading the session...");
}

TEST(PictureTest, AnOffsetChangeIsMarkedAndTheLegendWidensThePicture) {
    PictureRequest r = Fixed();
    r.axis.changes = {{200, 0, 120}};
    r.cursorX = 100000;
    Picture pic = chart::BuildPicture(r);
    EXPECT_EQ(pic.cursorX, pic.layout.drive.Right()) << "kept inside the panes";
    bool marked = false;
    for (const chart::Text& t : pic.overlay.texts) marked = marked || t.text == "UTC+02:00";
    EXPECT_TRUE(marked);

    const int width = pic.width;
    r.cars[1].hidden = true;
    chart::AddLegend(pic, r.cars, 14, EightPerCharacter);
    EXPECT_GT(pic.width, width);
    ASSERT_EQ(pic.legend.texts.size(), 3u);
    EXPECT_EQ(pic.legend.texts[0].text, "Car 1");
    EXPECT_EQ(pic.legend.texts[1].text, "Car 2 (hidden)");
    EXPECT_EQ(pic.legend.texts[1].colour, chart::kGrey);
    ASSERT_EQ(pic.legend.boxes.size(), 3u);
    EXPECT_EQ(pic.legend.boxes[2].colour, 0xff778899u);
    for (const chart::Text& t : pic.legend.texts) {
        EXPECT_GE(t.box.Left(), width);
        EXPECT_LE(t.box.Right(), pic.width - 1);
        EXPECT_LE(t.box.Bottom(), pic.height - 1);
    }
}

TEST(PictureTest, CarColoursAreDistinctAndFollowTheListsOrder) {
    std::vector<chart::Argb> seen;
    for (size_t i = 0; i < 40; ++i) {
        const chart::Argb c = chart::CarColour(i);
        EXPECT_EQ(c >> 24, 0xffu) << "opaque";
        EXPECT_EQ(std::count(seen.begin(), seen.end(), c), 0) << i;
        seen.push_back(c);
    }
    EXPECT_EQ(chart::CarColourIn({7, 3, 9}, 9), chart::CarColour(2));
}

} // namespace
