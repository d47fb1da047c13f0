// The flat push button: its frames, caption and face on a parent of known colour, and its mouse,
// group, accelerator and drop-down behaviour driven by synthetic events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

#include "controls/JvTransparentButton.h"
#include "toolkit/ErrorReport.h"

namespace {

const QColor kSkyBlue(166, 202, 240);
constexpr int kW = 73;
constexpr int kH = 27;

using State = TJvCustomGraphicButton::TJvButtonState;
const State kEmpty;
const State kHover(TJvCustomGraphicButton::Hover);
const State kPressed(TJvCustomGraphicButton::Pressed);
const State kHoverPressed = kHover | kPressed;

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, held, mods);
    QCoreApplication::sendEvent(w, &e);
}
void Press(QWidget* w, QPoint pos, Qt::MouseButton b = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseButtonPress, pos, b, b);
}
void Move(QWidget* w, QPoint pos, Qt::MouseButtons held = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseMove, pos, Qt::NoButton, held);
}
void Release(QWidget* w, QPoint pos, Qt::MouseButton b = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseButtonRelease, pos, b, Qt::NoButton);
}
void Enter(QWidget* w) {
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(w->mapToGlobal(QPoint(5, 5))));
    QCoreApplication::sendEvent(w, &e);
}
void Leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QCoreApplication::sendEvent(w, &e);
}

// A parent of known colour with one button configured as the window's Start.
class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        surface.resize(200, 60);
        QPalette pal = surface.palette();
        pal.setColor(QPalette::Window, kSkyBlue);
        surface.setPalette(pal);
        surface.setAutoFillBackground(true);
        QFont font(QStringLiteral("MS Sans Serif"));
        font.setPixelSize(11);
        surface.setFont(font);
        button = new TJvTransparentButton(&surface);
        button->setGeometry(10, 10, kW, kH);
        button->SetCaption(QStringLiteral("Start"));
        button->SetBorderWidth(3);
        button->SetTransparent(false);
        button->OnClick = [this](QObject*) {
            ++clicks;
            pressedAtClick = button->ButtonState().testFlag(TJvCustomGraphicButton::Pressed);
        };
    }

    // The button as drawn on its parent, in button coordinates.
    QImage Shot() {
        QImage full(surface.size(), QImage::Format_RGB32);
        surface.render(&full);
        return full.copy(button->geometry());
    }
    QColor Sys(TSystemColor c) const { return SystemColor(button, c); }
    QColor Face() const { return button->Color(); }

    QWidget surface;
    TJvTransparentButton* button = nullptr;
    int clicks = 0;
    bool pressedAtClick = false;
};

// Number of pixels of exactly this colour inside r.
int Count(const QImage& img, const QRect& r, const QColor& c) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += img.pixelColor(x, y) == c;
    return n;
}

// Bounding box of the pixels inside r that differ from the face colour.
QRect Ink(const QImage& img, const QRect& r, const QColor& face) {
    QRect box;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y) != face) box |= QRect(x, y, 1, 1);
    return box;
}

// The outer n-pixel frame: top/left rows in one colour, bottom/right in the other.
void ExpectFrame(const QImage& img, int n, const QColor& top, const QColor& bottom) {
    const int w = img.width();
    const int h = img.height();
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(img.pixelColor(w / 2, i), top) << "top row " << i;
        EXPECT_EQ(img.pixelColor(i, h / 2), top) << "left column " << i;
        EXPECT_EQ(img.pixelColor(w / 2, h - 1 - i), bottom) << "bottom row " << i;
        EXPECT_EQ(img.pixelColor(w - 1 - i, h / 2), bottom) << "right column " << i;
    }
}

} // namespace

TEST_F(ButtonTest, DisabledStartShowsFaceRaisedOnePixelFrameAndEtchedCaption) {
    button->setEnabled(false);
    const QImage img = Shot();
    EXPECT_EQ(Face(), kSkyBlue);  // the colour follows the window's
    ExpectFrame(img, 1, Sys(TSystemColor::clBtnHighlight), Sys(TSystemColor::clBtnShadow));
    EXPECT_EQ(img.pixelColor(0, kH - 1), Sys(TSystemColor::clBtnShadow));  // bottom line overwrites the corner
    EXPECT_EQ(img.pixelColor(kW - 1, 0), Sys(TSystemColor::clBtnShadow));
    EXPECT_EQ(img.pixelColor(1, kH / 2), kSkyBlue);
    EXPECT_EQ(img.pixelColor(kW / 2, 1), kSkyBlue);

    // The caption: the shadow copy on top, the highlight copy one pixel right and down, nothing
    // darker than the shadow (text is smoothed, so pixels blend towards the face).
    const QRect inside(2, 2, kW - 4, kH - 4);
    const int face = qGray(kSkyBlue.rgb());
    QRect darker, lighter;
    int darkest = 255;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const int g = qGray(img.pixel(x, y));
            if (g < face - 8) darker |= QRect(x, y, 1, 1);
            if (g > face + 8) lighter |= QRect(x, y, 1, 1);
            darkest = std::min(darkest, g);
        }
    }
    ASSERT_TRUE(darker.isValid());
    ASSERT_TRUE(lighter.isValid());
    EXPECT_EQ(lighter.bottomRight(), darker.bottomRight() + QPoint(1, 1));
    EXPECT_GE(lighter.top(), darker.top());
    EXPECT_GE(darkest, qGray(Sys(TSystemColor::clBtnShadow).rgb()) - 2);
}

TEST_F(ButtonTest, ExplorerFramesFollowHoverAndPressAtBorderWidthThree) {
    const QColor hl = Sys(TSystemColor::clBtnHighlight);
    const QColor sh = Sys(TSystemColor::clBtnShadow);
    const QImage rest = Shot();
    ExpectFrame(rest, 1, hl, sh);
    EXPECT_EQ(rest.pixelColor(kW / 2, 1), kSkyBlue);
    const QRect restCaption = Ink(rest, QRect(4, 4, kW - 8, kH - 8), kSkyBlue);

    Enter(button);
    EXPECT_EQ(button->ButtonState(), kHover);
    const QImage hover = Shot();
    ExpectFrame(hover, 3, hl, sh);
    EXPECT_EQ(hover.pixelColor(kW / 2, 3), kSkyBlue);
    EXPECT_EQ(hover.pixelColor(kW - 4, kH / 2), kSkyBlue);
    EXPECT_EQ(Ink(hover, QRect(4, 4, kW - 8, kH - 8), kSkyBlue), restCaption);

    Press(button, QPoint(20, 10));
    EXPECT_EQ(button->ButtonState(), kHoverPressed);
    const QImage pressed = Shot();
    ExpectFrame(pressed, 3, sh, hl);  // sunken
    EXPECT_EQ(Ink(pressed, QRect(4, 4, kW - 8, kH - 8), kSkyBlue), restCaption.translated(1, 1));
    Release(button, QPoint(20, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button->ButtonState(), kHover);
}

TEST_F(ButtonTest, BorderWidthZeroDrawsNoWideFramesButOutlinesStillShow) {
    button->SetBorderWidth(0);
    Enter(button);
    const QImage explorer = Shot();
    ExpectFrame(explorer, 1, Sys(TSystemColor::clBtnHighlight), Sys(TSystemColor::clBtnShadow));
    EXPECT_EQ(explorer.pixelColor(kW / 2, 1), kSkyBlue);

    button->SetFrameStyle(TJvFrameStyle::fsRegular);  // opaque outline with the thinnest pen
    Leave(button);
    const QImage regular = Shot();
    EXPECT_EQ(regular.pixelColor(kW / 2, 1), QColor(Qt::black));
    EXPECT_EQ(regular.pixelColor(1, kH / 2), QColor(Qt::black));
    EXPECT_EQ(regular.pixelColor(kW - 1, kH / 2), QColor(Qt::black));
    EXPECT_EQ(regular.pixelColor(kW / 2, kH - 1), QColor(Qt::black));
    EXPECT_EQ(regular.pixelColor(kW / 2, 2), kSkyBlue);
}

TEST_F(ButtonTest, FrameStyleNonePressedMovesOnlyTheCaption) {
    button->SetFrameStyle(TJvFrameStyle::fsNone);
    button->SetPressOffset(2);
    const QImage rest = Shot();
    Press(button, QPoint(20, 10));
    const QImage pressed = Shot();
    for (const QImage* img : {&rest, &pressed}) {
        EXPECT_EQ(img->pixelColor(0, 0), kSkyBlue);
        EXPECT_EQ(img->pixelColor(kW - 1, kH - 1), kSkyBlue);
        EXPECT_EQ(img->pixelColor(kW / 2, 0), kSkyBlue);
    }
    const QRect all(0, 0, kW, kH);
    EXPECT_EQ(Ink(pressed, all, kSkyBlue), Ink(rest, all, kSkyBlue).translated(2, 2));
}

TEST_F(ButtonTest, TransparentExplorerFillsNothingAndShowsHoverFrameInside) {
    button->SetTransparent(true);
    button->SetCaption(QString());
    EXPECT_TRUE(button->FlatLook());
    QImage img = Shot();
    EXPECT_EQ(img.pixelColor(kW / 2, kH / 2), kSkyBlue);  // the parent shows through
    EXPECT_EQ(img.pixelColor(0, kH / 2), Sys(TSystemColor::clBtnHighlight));
    EXPECT_EQ(img.pixelColor(kW / 2, 1), kSkyBlue);
    Enter(button);
    img = Shot();
    ExpectFrame(img, 3, Sys(TSystemColor::clBtnHighlight), Sys(TSystemColor::clBtnShadow));
    EXPECT_EQ(Ink(img, QRect(3, 3, kW - 6, kH - 6), kSkyBlue), QRect());  // empty caption draws nothing
}

TEST_F(ButtonTest, CaptionGeometryForTopAlignmentAndWordWrap) {
    button->SetTextAlign(TJvTextAlign::ttaTop);
    button->SetSpacing(3);
    const TPaintRect glyph = button->GlyphRect();
    EXPECT_EQ(glyph.Height(), 16);  // computed from the empty 16 by 16 list
    EXPECT_EQ(button->CaptionRect(glyph).Bottom, kH - 16 - 2 * 3);

    button->SetTextAlign(TJvTextAlign::ttaCenter);
    button->setGeometry(10, 10, kW, 50);
    button->SetCaption(QStringLiteral("Start the capture now"));
    const TPaintRect single = button->CaptionRect(button->GlyphRect());
    button->SetWordWrap(true);
    const TPaintRect wrapped = button->CaptionRect(button->GlyphRect());
    EXPECT_GT(single.Width(), kW);
    EXPECT_LE(wrapped.Width(), kW);
    EXPECT_GE(wrapped.Height(), 2 * single.Height());
    // Lines are centred one by one: the short last line sits away from the left edge.
    const QImage img = Shot();
    const int lastLineTop = wrapped.Bottom - single.Height();
    const QRect lastLine = Ink(img, QRect(3, lastLineTop, kW - 6, single.Height()), kSkyBlue);
    ASSERT_TRUE(lastLine.isValid());
    EXPECT_NEAR(lastLine.center().x(), kW / 2, 3);
}

TEST_F(ButtonTest, Draw3DFrameNestsInwardsAndBoundsItsWork) {
    QImage img(10, 10, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    TPaintRect r{0, 0, 10, 10};
    Draw3DFrame(p, r, Qt::red, Qt::blue, 2);
    EXPECT_EQ(r, (TPaintRect{2, 2, 8, 8}));
    Draw3DFrame(p, r, Qt::green, Qt::green, 0);
    EXPECT_EQ(r, (TPaintRect{2, 2, 8, 8}));
    p.end();
    QImage scratch(10, 10, QImage::Format_RGB32);
    QPainter q(&scratch);
    TPaintRect huge{0, 0, 10, 10};
    Draw3DFrame(q, huge, Qt::red, Qt::red, 4'000'000'000LL);  // returns instead of looping for ever
    q.end();
    EXPECT_EQ(img.pixelColor(0, 5), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(1, 5), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(9, 5), QColor(Qt::blue));
    EXPECT_EQ(img.pixelColor(0, 9), QColor(Qt::blue));  // the bottom line covers the corner
    EXPECT_EQ(img.pixelColor(9, 0), QColor(Qt::blue));
}

TEST_F(ButtonTest, DropArrowIsADownwardTriangle) {
    TPopupMenu menu;
    button->SetDropDownMenu(&menu);
    button->SetDropArrow(true);
    button->SetCaption(QString());
    button->setGeometry(10, 10, 40, 30);
    const QImage img = Shot();
    const QColor ink = Sys(TSystemColor::clWindowText);
    const int left = 40 - 16;
    const int top = 15;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Count(img, QRect(0, top + i, 40, 1), ink), 7 - 2 * i) << "line " << i;
        EXPECT_EQ(img.pixelColor(left + i, top + i), ink);
    }
}

TEST_F(ButtonTest, RightPressShowsPressedButNeverClicksOrOpensTheMenu) {
    TPopupMenu menu;
    button->SetDropDownMenu(&menu);
    int menuAsked = 0;
    button->OnDropDownMenu = [&](QObject*, QPoint, bool& handled) {
        ++menuAsked;
        handled = true;
    };
    Press(button, QPoint(5, 5), Qt::RightButton);
    EXPECT_EQ(button->ButtonState(), kHoverPressed);
    Release(button, QPoint(5, 5), Qt::RightButton);
    EXPECT_EQ(button->ButtonState(), kHover);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(menuAsked, 0);
}

TEST_F(ButtonTest, DraggingOutLosesHoverAndReleasingOutsideDoesNotClick) {
    std::vector<char> events;
    button->OnMouseDown = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { events.push_back('d'); };
    button->OnMouseUp = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { events.push_back('u'); };
    Press(button, QPoint(5, 5));
    Move(button, QPoint(kW + 5, 5));
    EXPECT_EQ(button->ButtonState(), kPressed);
    Move(button, QPoint(6, 6));
    EXPECT_EQ(button->ButtonState(), kHoverPressed);
    Move(button, QPoint(-1, 6));
    Release(button, QPoint(-1, 6));
    EXPECT_EQ(button->ButtonState(), kEmpty);
    EXPECT_FALSE(button->MouseCapture());
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(events, (std::vector<char>{'d', 'u'}));
    // Moves without a press (no capture) leave the state alone.
    Move(button, QPoint(5, 5), Qt::NoButton);
    EXPECT_EQ(button->ButtonState(), kEmpty);
}

TEST_F(ButtonTest, ClickRunsWhilePressedAndADoubleClickIsASecondPress) {
    Press(button, QPoint(5, 5));
    Release(button, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(pressedAtClick);
    EXPECT_FALSE(button->ButtonState().testFlag(TJvCustomGraphicButton::Pressed));
    SendMouse(button, QEvent::MouseButtonDblClick, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
    Release(button, QPoint(5, 5));
    EXPECT_EQ(clicks, 2);
}

TEST_F(ButtonTest, FailingClickClearsPressedAndGoesToTheErrorReport) {
    std::vector<toolkit::ErrorReportEntry> reports;
    auto previous = toolkit::SetErrorReportSink([&](const toolkit::ErrorReportEntry& e) { reports.push_back(e); });
    button->OnClick = [](QObject*) { throw std::runtime_error("handler failed"); };
    Press(button, QPoint(5, 5));
    Release(button, QPoint(5, 5));
    toolkit::SetErrorReportSink(previous);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].Message, "handler failed");
    EXPECT_FALSE(button->ButtonState().testFlag(TJvCustomGraphicButton::Pressed));
    EXPECT_FALSE(button->MouseCapture());
}

TEST_F(ButtonTest, DisablingAHoveredButtonClearsItsStateUntilThePointerHasLeftOnce) {
    Enter(button);
    EXPECT_EQ(button->ButtonState(), kHover);
    button->setEnabled(false);
    EXPECT_EQ(button->ButtonState(), kEmpty);
    EXPECT_TRUE(button->HoverTracked());
    Leave(button);  // ignored while disabled
    button->setEnabled(true);
    EXPECT_EQ(button->ButtonState(), kEmpty);
    Enter(button);  // still tracked: ignored
    EXPECT_EQ(button->ButtonState(), kEmpty);
    Leave(button);
    Enter(button);
    EXPECT_EQ(button->ButtonState(), kHover);

    button->setEnabled(false);
    Press(button, QPoint(5, 5));
    Release(button, QPoint(5, 5));
    EXPECT_EQ(clicks, 0);
}

TEST_F(ButtonTest, GroupOfTwoKeepsOneButtonDown) {
    auto* second = new TJvTransparentButton(&surface);
    second->setGeometry(100, 10, 40, 20);
    button->SetGroupIndex(1);
    second->SetGroupIndex(1);
    Press(button, QPoint(5, 5));
    Release(button, QPoint(5, 5));
    EXPECT_TRUE(button->Down());

    Press(button, QPoint(5, 5));  // pressed again and held
    Press(second, QPoint(5, 5));
    Release(second, QPoint(5, 5));
    EXPECT_TRUE(second->Down());
    EXPECT_FALSE(button->Down());
    EXPECT_FALSE(button->ButtonState().testFlag(TJvCustomGraphicButton::Pressed));

    second->SetDown(false);  // a down button without all-up cannot be raised by setting
    EXPECT_TRUE(second->Down());
    Press(second, QPoint(5, 5));
    Release(second, QPoint(5, 5));
    EXPECT_TRUE(second->Down());

    second->SetAllowAllUp(true);  // the group takes it over
    EXPECT_TRUE(button->AllowAllUp());
    Press(second, QPoint(5, 5));
    Release(second, QPoint(5, 5));
    EXPECT_FALSE(second->Down());

    TJvTransparentButton loner(&surface);
    loner.SetDown(true);  // no group: never down
    EXPECT_FALSE(loner.Down());
}

TEST_F(ButtonTest, AltAcceleratorClicksOnlyWithAltAlone) {
    button->SetCaption(QStringLiteral("&Start"));
    EXPECT_FALSE(button->DoDialogChar(Qt::Key_S, Qt::NoModifier, QStringLiteral("s")));
    EXPECT_FALSE(button->DoDialogChar(Qt::Key_S, Qt::AltModifier | Qt::ControlModifier, QStringLiteral("s")));
    EXPECT_FALSE(button->DoDialogChar(Qt::Key_T, Qt::AltModifier, QStringLiteral("t")));
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(button->DoDialogChar(Qt::Key_S, Qt::AltModifier, QStringLiteral("s")));
    EXPECT_EQ(clicks, 1);
    button->setEnabled(false);
    EXPECT_FALSE(button->DoDialogChar(Qt::Key_S, Qt::AltModifier, QStringLiteral("s")));
    EXPECT_EQ(clicks, 1);
    button->setEnabled(true);
    button->SetCaption(QStringLiteral("Save && &quit"));
    EXPECT_TRUE(IsAccel(Qt::Key_Q, button->Caption()));
    EXPECT_FALSE(IsAccel(Qt::Key_S, button->Caption()));

    // Through the window's key handling.
    button->SetCaption(QStringLiteral("&Start"));
    surface.show();
    surface.activateWindow();
    QApplication::setActiveWindow(&surface);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_S, Qt::AltModifier, QStringLiteral("s"));
    QCoreApplication::sendEvent(&surface, &key);
    EXPECT_EQ(clicks, 2);
}

TEST_F(ButtonTest, DropDownMenuHandledByTheEventLetsTheReleaseClick) {
    TPopupMenu menu;
    menu.SetAlignment(TPopupAlignment::paRight);
    button->SetDropDownMenu(&menu);
    QPoint asked;
    button->OnDropDownMenu = [&](QObject*, QPoint pos, bool& handled) {
        asked = pos;
        handled = true;
    };
    Press(button, QPoint(5, 5));
    EXPECT_EQ(menu.PopupComponent(), button);
    EXPECT_EQ(asked, button->mapToGlobal(QPoint(kW, kH)));
    Release(button, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonTest, DropDownMenuShownSwallowsTheClickAndReportsItsClose) {
    auto* menu = new TPopupMenu(&surface);
    menu->addAction(QStringLiteral("One"));
    button->SetDropDownMenu(menu);
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { QTimer::singleShot(0, menu, &QMenu::close); });
    int closed = 0;
    button->OnMenuClosed = [&](QObject*) { ++closed; };
    Press(button, QPoint(5, 5));  // returns once the menu has closed
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(button->ButtonState().testFlag(TJvCustomGraphicButton::Pressed));
    Release(button, QPoint(5, 5));
    EXPECT_EQ(clicks, 0);

    delete menu;  // the reference goes with it
    EXPECT_EQ(button->DropDownMenu(), nullptr);
}

TEST_F(ButtonTest, HotFontFollowsTheFontExceptWhatTheOptionsPreserve) {
    TJvFont hot{QFont(QStringLiteral("Serif")), Qt::red};
    hot.Font.setPixelSize(20);
    hot.Font.setBold(true);
    button->SetHotTrackFont(hot);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(13);
    button->setFont(f);
    EXPECT_EQ(button->HotTrackFont().Font.pixelSize(), 13);
    EXPECT_EQ(button->HotTrackFont().Font.family(), QStringLiteral("DejaVu Sans"));
    EXPECT_TRUE(button->HotTrackFont().Font.bold());           // style preserved
    EXPECT_EQ(button->HotTrackFont().Color, QColor(Qt::red));  // colour preserved
    button->SetHotTrackFontOptions(hoFollowFont);
    EXPECT_FALSE(button->HotTrackFont().Font.bold());
    EXPECT_EQ(button->HotTrackFont().Color, button->FontColor());

    button->SetHotTrack(true);
    button->SetHotTrackFont(TJvFont{f, Qt::red});
    Enter(button);
    EXPECT_EQ(button->CurrentFont().Color, QColor(Qt::red));
    const QImage img = Shot();
    EXPECT_GT(Count(img, QRect(4, 4, kW - 8, kH - 8), QColor(Qt::red)), 0);
}

// Spacing and press offset at the ends of their range lay out without overflow (the sanitizer
// build checks that) and only move the caption out of sight; the widest border fills the face.
TEST_F(ButtonTest, ExtremeSpacingOffsetAndBorderWidthPaintSafely) {
    const QRect inside(4, 4, kW - 8, kH - 8);
    for (int v : {INT_MAX, INT_MIN}) {
        button->SetSpacing(v);
        button->SetPressOffset(v);
        for (int a = 0; a <= 8; ++a) {
            button->SetTextAlign(static_cast<TJvTextAlign>(a));
            Press(button, QPoint(5, 5));
            const QImage img = Shot();
            Release(button, QPoint(5, 5));
            EXPECT_EQ(Ink(img, inside, kSkyBlue), QRect()) << v << " align " << a;
        }
    }
    button->SetSpacing(2);
    button->SetPressOffset(1);
    button->SetCaption(QString());
    button->SetBorderWidth(0xFFFFFFFFu);
    for (int f = 0; f <= 6; ++f) {
        button->SetFrameStyle(static_cast<TJvFrameStyle>(f));
        for (bool transparent : {false, true}) {
            button->SetTransparent(transparent);
            Enter(button);
            Shot();
            Press(button, QPoint(5, 5));
            Shot();
            Release(button, QPoint(5, 5));
            Leave(button);
        }
    }
    button->SetFrameStyle(TJvFrameStyle::fsExplorer);
    button->SetTransparent(false);
    Enter(button);
    const QImage raised = Shot();
    EXPECT_EQ(raised.pixelColor(kW / 4, kH / 4), Sys(TSystemColor::clBtnHighlight));
    EXPECT_EQ(raised.pixelColor(kW - kW / 4, kH - kH / 4 + 1), Sys(TSystemColor::clBtnShadow));
}
