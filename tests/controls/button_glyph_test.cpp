// The button's pictures: cells of a glyph bitmap, the derived gray and disabled pictures, the
// per-state image lists, the entry drawn in each state, and what an action sets.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QMouseEvent>

#include <memory>

#include "controls/JvTransparentButton.h"
#include "toolkit/SysUtils.h"

namespace {

const QRgb kBackground = qRgb(255, 0, 255);

// A bitmap of w by h in the background colour with a filled square of the given colour in each cell.
QImage Cells(int w, int h, std::initializer_list<QRgb> colours) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kBackground);
    const int cell = h;
    int i = 0;
    for (QRgb c : colours) {
        for (int y = 4; y < 12; ++y)
            for (int x = 4; x < 12; ++x) img.setPixel(i * cell + x, y, c);
        ++i;
    }
    return img;
}

QImage Solid(int w, int h, QRgb c) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

void Enter(QWidget* w) {
    QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(w->mapToGlobal(QPoint(1, 1))));
    QCoreApplication::sendEvent(w, &e);
}

void Press(QWidget* w) {
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(w->mapToGlobal(QPoint(2, 2))), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

class GlyphTest : public ::testing::Test {
protected:
    void SetUp() override {
        surface.resize(100, 60);
        button = new TJvTransparentButton(&surface);
        button->setGeometry(0, 0, 40, 40);
    }
    QWidget surface;
    TJvTransparentButton* button = nullptr;
};

} // namespace

TEST_F(GlyphTest, CellCountFollowsTheBitmapShape) {
    button->SetGlyph(Cells(64, 16, {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)}));
    EXPECT_EQ(button->NumGlyphs(), 4);
    EXPECT_EQ(button->GlyphList().Count(), 6);  // four cells, gray, disabled
    EXPECT_EQ(button->GlyphList().Width(), 16);
    EXPECT_EQ(button->GlyphList().GetIcon(2).pixel(8, 8), qRgb(0, 0, 255));

    button->SetGlyph(Cells(80, 16, {}));
    EXPECT_EQ(button->NumGlyphs(), 1);  // five cells are more than a glyph holds
    EXPECT_EQ(button->GlyphList().Count(), 3);
    EXPECT_EQ(button->GlyphList().Width(), 80);

    button->SetNumGlyphs(2);
    button->SetGlyph(Cells(20, 16, {}));
    EXPECT_EQ(button->NumGlyphs(), 2);  // not a whole multiple: left alone
    EXPECT_EQ(button->GlyphList().Width(), 10);

    button->SetNumGlyphs(0);  // outside 1..4 is taken as the nearest count
    EXPECT_EQ(button->NumGlyphs(), 1);
    button->SetGlyph(Cells(3, 16, {}));
    button->SetNumGlyphs(4);  // narrower than its cells: no picture, no failure
    EXPECT_EQ(button->GlyphList().Count(), 0);
}

TEST_F(GlyphTest, GrayLevelsWeighRedElevenAndBlueThirty) {
    QImage img(3, 1, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(255, 0, 0));
    img.setPixel(1, 0, qRgb(0, 0, 255));
    img.setPixel(2, 0, qRgb(0, 255, 0));
    MakeGrayscale(img);
    EXPECT_EQ(img.pixel(0, 0), qRgb(28, 28, 28));
    EXPECT_EQ(img.pixel(1, 0), qRgb(76, 76, 76));
    EXPECT_EQ(img.pixel(2, 0), qRgb(150, 150, 150));
    QImage empty;
    MakeGrayscale(empty);
    MakeEmbossed(empty);
    MakeDisabledGlyph(empty);
    EXPECT_TRUE(empty.isNull());
}

TEST_F(GlyphTest, DisabledGlyphEtchesEverythingButWhiteAndBackground) {
    QImage img = Solid(5, 5, kBackground);
    img.setPixel(1, 1, qRgb(200, 10, 10));   // any colour counts as ink
    img.setPixel(2, 2, qRgb(0, 0, 0));
    img.setPixel(3, 1, qRgb(255, 255, 255)); // white does not
    img.setPixel(4, 4, qRgb(0, 0, 0));       // ink at the corner: its edge falls outside
    MakeDisabledGlyph(img, button);
    const QRgb face = SystemColor(button, TSystemColor::clBtnFace).rgb();
    const QRgb shadow = SystemColor(button, TSystemColor::clBtnShadow).rgb();
    const QRgb highlight = SystemColor(button, TSystemColor::clBtnHighlight).rgb();
    EXPECT_EQ(img.pixel(1, 1), shadow);
    EXPECT_EQ(img.pixel(2, 2), shadow);  // ink and the edge of (1, 1): the shadow wins
    EXPECT_EQ(img.pixel(3, 3), highlight);
    EXPECT_EQ(img.pixel(4, 4), shadow);
    EXPECT_EQ(img.pixel(3, 1), face);
    EXPECT_EQ(img.pixel(0, 0), face);
}

TEST_F(GlyphTest, SingleCellGlyphDrawsGrayAtRestAndThePictureWhenHoveredOrDown) {
    button->SetGlyph(Cells(16, 16, {qRgb(255, 0, 0)}));
    ASSERT_EQ(button->GlyphList().Count(), 3);
    EXPECT_EQ(button->GlyphList().GetIcon(1).pixel(8, 8), qRgb(28, 28, 28));
    EXPECT_EQ(qAlpha(button->GlyphList().GetIcon(0).pixel(0, 15)), 0);  // bottom-left colour is transparent
    EXPECT_EQ(button->GlyphIndexForState(), 1);
    Enter(button);
    EXPECT_EQ(button->GlyphIndexForState(), 0);

    // The chosen entry is what lands on the parent, at the glyph rectangle.
    QImage shot(surface.size(), QImage::Format_RGB32);
    surface.render(&shot);
    const TPaintRect g = button->GlyphRect();
    EXPECT_EQ(shot.pixel(g.Left + 8, g.Top + 8), qRgb(255, 0, 0));

    button->setEnabled(false);
    EXPECT_EQ(button->GlyphIndexForState(), 2);

    button->SetGlyph(Cells(64, 16, {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)}));
    EXPECT_EQ(button->GlyphIndexForState(), 4);  // disabled fsExplorer with AutoGray: the gray picture
    button->SetAutoGray(false);
    EXPECT_EQ(button->GlyphIndexForState(), 1);
    button->setEnabled(true);
    Enter(button);
    Press(button);
    EXPECT_EQ(button->GlyphIndexForState(), 2);
}

class ImagesTest : public GlyphTest {
protected:
    void SetUp() override {
        GlyphTest::SetUp();
        list = std::make_unique<TImageList>(16, 16);
        list->AddMasked(Cells(16, 16, {qRgb(0, 0, 0)}), QColor(kBackground));
        list->AddMasked(Cells(16, 16, {qRgb(0, 0, 255)}), QColor(kBackground));
    }
    std::unique_ptr<TImageList> list;
};

TEST_F(ImagesTest, OnlyAnActiveListGivesFiveEntriesWithDerivedPictures) {
    button->Images()->SetActiveImage(list.get());
    EXPECT_EQ(button->GlyphList().Count(), 0);  // index still -1
    button->Images()->SetActiveIndex(0);
    const TCustomImageList& g = button->GlyphList();
    ASSERT_EQ(g.Count(), 5);
    const QImage active = list->GetIcon(0);
    EXPECT_EQ(g.GetIcon(0), active);
    EXPECT_EQ(g.GetIcon(2), active);
    EXPECT_EQ(g.GetIcon(4), active);
    QImage embossed;
    ASSERT_TRUE(list->GetBitmap(0, embossed));
    MakeEmbossed(embossed, button);
    EXPECT_EQ(g.GetIcon(1).pixel(5, 5), embossed.pixel(5, 5));
    EXPECT_EQ(g.GetIcon(1).pixel(5, 5), SystemColor(button, TSystemColor::clBtnShadow).rgb());
    EXPECT_EQ(g.GetIcon(3).pixel(5, 5), qRgb(0, 0, 0));  // gray of black on white

    // The entry per state.
    EXPECT_EQ(button->GlyphIndexForState(), 3);
    Enter(button);
    EXPECT_EQ(button->GlyphIndexForState(), 0);
    button->SetHotTrack(true);
    EXPECT_EQ(button->GlyphIndexForState(), 4);
    Press(button);
    EXPECT_EQ(button->GlyphIndexForState(), 2);
    button->setEnabled(false);
    EXPECT_EQ(button->GlyphIndexForState(), 1);
}

TEST_F(ImagesTest, ListChangesAndRemovalRebuildTheGlyphList) {
    auto* images = button->Images();
    images->SetActiveImage(list.get());
    images->SetActiveIndex(2);  // past the end: no picture rather than a broken list
    EXPECT_EQ(button->GlyphList().Count(), 0);
    list->AddMasked(Cells(16, 16, {qRgb(0, 255, 0)}), QColor(kBackground));  // heard through the change link
    EXPECT_EQ(button->GlyphList().Count(), 5);

    TImageList hot(16, 16);
    hot.AddMasked(Solid(16, 16, qRgb(1, 2, 3)), QColor());
    images->SetHotImage(&hot);
    images->SetHotIndex(0);
    EXPECT_EQ(button->GlyphList().GetIcon(4).pixel(0, 0), qRgb(1, 2, 3));

    list.reset();  // the active list goes away
    EXPECT_EQ(images->ActiveImage(), nullptr);
    EXPECT_EQ(button->GlyphList().Count(), 0);
    EXPECT_EQ(images->HotImage(), &hot);

    // A glyph takes precedence over the lists.
    button->SetGlyph(Cells(16, 16, {qRgb(9, 9, 9)}));
    EXPECT_EQ(button->GlyphList().Count(), 3);
    button->SetGlyph(QImage());
    EXPECT_EQ(button->GlyphList().Count(), 0);
}

// One list serving two states goes away: the rebuild after the first reference is cleared must
// not read the dying list through the second.
TEST_F(ImagesTest, ListHeldForSeveralStatesIsDroppedFromAllBeforeTheRebuild) {
    auto* images = button->Images();
    images->SetActiveImage(list.get());
    images->SetActiveIndex(0);
    auto shared = std::make_unique<TImageList>(16, 16);
    shared->AddMasked(Solid(16, 16, qRgb(1, 2, 3)), QColor());
    images->SetDisabledImage(shared.get());
    images->SetDisabledIndex(0);
    images->SetDownImage(shared.get());
    images->SetDownIndex(0);
    images->SetHotImage(shared.get());
    images->SetHotIndex(0);
    ASSERT_EQ(button->GlyphList().GetIcon(2).pixel(0, 0), qRgb(1, 2, 3));

    shared.reset();
    EXPECT_EQ(images->DisabledImage(), nullptr);
    EXPECT_EQ(images->DownImage(), nullptr);
    EXPECT_EQ(images->HotImage(), nullptr);
    ASSERT_EQ(button->GlyphList().Count(), 5);  // the fallbacks: active, embossed, active, gray, active
    EXPECT_EQ(button->GlyphList().GetIcon(2), list->GetIcon(0));
    EXPECT_EQ(button->GlyphList().GetIcon(4), list->GetIcon(0));
}

TEST_F(ImagesTest, AssigningImagesCopiesListsAndIndexesAndRefusesNothing) {
    TJvTransparentButton other(&surface);
    other.Images()->SetActiveImage(list.get());
    other.Images()->SetActiveIndex(1);
    other.Images()->SetDownIndex(0);
    button->SetImages(other.Images());
    EXPECT_EQ(button->Images()->ActiveImage(), list.get());
    EXPECT_EQ(button->Images()->ActiveIndex(), 1);
    EXPECT_EQ(button->Images()->DownIndex(), 0);
    EXPECT_EQ(button->GlyphList().Count(), 5);
    try {
        button->SetImages(nullptr);
        FAIL() << "no error";
    } catch (const toolkit::EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a nil to a TJvTransparentButtonImages");
    }
    EXPECT_EQ(button->Images()->ActiveIndex(), 1);
}

TEST_F(ImagesTest, ActionSetsDownPicturesAndCaption) {
    TActionList actions;
    actions.SetImages(list.get());
    TAction action;
    action.SetActionList(&actions);
    action.SetCaption(QStringLiteral("Go"));
    action.SetChecked(true);
    action.SetImageIndex(1);
    int executed = 0;
    action.OnExecute = [&](toolkit::TObject*) { ++executed; };

    button->SetGroupIndex(1);
    button->SetAllowAllUp(true);
    button->SetGlyph(Cells(16, 16, {qRgb(9, 9, 9)}));
    button->SetAction(&action);
    EXPECT_EQ(button->Caption(), QStringLiteral("Go"));
    EXPECT_TRUE(button->Down());
    EXPECT_TRUE(button->Glyph().isNull());  // the action's picture replaces the glyph
    EXPECT_EQ(button->Images()->ActiveImage(), list.get());
    EXPECT_EQ(button->Images()->ActiveIndex(), 1);
    EXPECT_EQ(button->GlyphList().Count(), 5);

    action.SetImageIndex(0);
    for (int index : {button->Images()->ActiveIndex(), button->Images()->GrayIndex(), button->Images()->DisabledIndex(),
                      button->Images()->DownIndex(), button->Images()->HotIndex()})
        EXPECT_EQ(index, 0);
    action.SetChecked(false);
    EXPECT_FALSE(button->Down());
    action.SetGroupIndex(7);  // the button keeps its own group
    EXPECT_EQ(button->GroupIndex(), 1);

    button->Click();  // no OnClick: the action runs
    EXPECT_EQ(executed, 1);
    button->SetAction(nullptr);
    EXPECT_EQ(button->Action(), nullptr);
}

TEST_F(ImagesTest, ActionGoingAwayIsDropped) {
    auto action = std::make_unique<TAction>();
    button->SetAction(action.get());
    action.reset();
    EXPECT_EQ(button->Action(), nullptr);
    button->Click();  // nothing left to run
}

TEST_F(GlyphTest, PressedHoveredOpaqueButtonFillsItsInsideWithTheCheckerPattern) {
    const QImage* pattern = CheckerPattern();
    ASSERT_NE(pattern, nullptr);
    EXPECT_EQ(pattern->pixel(2, 4), qRgb(255, 255, 255));
    EXPECT_EQ(pattern->pixel(3, 4), SystemColor(nullptr, TSystemColor::clBtnFace).rgb());

    button->SetTransparent(false);
    button->SetGlyph(Cells(16, 16, {qRgb(255, 0, 0)}));
    Enter(button);
    Press(button);
    QImage shot(surface.size(), QImage::Format_RGB32);
    surface.render(&shot);
    EXPECT_EQ(shot.pixel(2, 2), qRgb(255, 255, 255));  // inside the border width + 1
    EXPECT_EQ(shot.pixel(3, 2), pattern->pixel(3, 2));
    const TPaintRect g = button->GlyphRect();
    EXPECT_EQ(shot.pixel(g.Left + 8 + 1, g.Top + 8 + 1), qRgb(255, 0, 0));  // moved by the press offset
}

TEST_F(GlyphTest, NewButtonHasItsDesignDefaults) {
    TJvTransparentButton fresh;
    EXPECT_EQ(fresh.geometry(), QRect(0, 0, 40, 40));
    EXPECT_TRUE(fresh.Transparent());
    EXPECT_FALSE(fresh.FlatLook());  // follows Transparent only from its first change
    EXPECT_FALSE(fresh.Opaque());
    EXPECT_EQ(fresh.FrameStyle(), TJvFrameStyle::fsExplorer);
    EXPECT_EQ(fresh.TextAlign(), TJvTextAlign::ttaCenter);
    EXPECT_EQ(fresh.BorderWidth(), 1u);
    EXPECT_EQ(fresh.Spacing(), 2);
    EXPECT_EQ(fresh.PressOffset(), 1);
    EXPECT_TRUE(fresh.AutoGray());
    EXPECT_TRUE(fresh.ShowPressed());
    EXPECT_EQ(fresh.NumGlyphs(), 1);
    EXPECT_EQ(fresh.HotTrackFontOptions(), hoFollowFont | hoPreserveColor | hoPreserveStyle);
    EXPECT_EQ(fresh.Images()->ActiveIndex(), -1);
    fresh.SetFrameStyle(TJvFrameStyle::fsMono);
    EXPECT_TRUE(fresh.FlatLook());
    fresh.SetTransparent(false);
    EXPECT_FALSE(fresh.FlatLook());
    EXPECT_TRUE(fresh.Opaque());
}
