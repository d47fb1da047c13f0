#include "JvButton.h"

#include "toolkit/SysUtils.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

#include <memory>

namespace {

// The group-pressed notification: a button of GroupIndex went down (or changed its group rules).
QEvent::Type GroupPressedEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class TGroupPressedEvent : public QEvent {
public:
    TGroupPressedEvent(int AGroupIndex, TJvCustomGraphicButton* ASender)
        : QEvent(GroupPressedEventType()), GroupIndex(AGroupIndex), Sender(ASender) {}
    const int GroupIndex;
    TJvCustomGraphicButton* const Sender;
};

} // namespace

namespace {
QColor PaletteColor(const QPalette& pal, TSystemColor Color) {
    switch (Color) {
    case TSystemColor::clBtnFace: return pal.color(QPalette::Active, QPalette::Button);
    case TSystemColor::clBtnShadow: return pal.color(QPalette::Active, QPalette::Dark);
    case TSystemColor::clBtnHighlight: return pal.color(QPalette::Active, QPalette::Light);
    case TSystemColor::cl3DDkShadow: return pal.color(QPalette::Active, QPalette::Shadow);
    case TSystemColor::clWindowText: return pal.color(QPalette::Active, QPalette::WindowText);
    // Used for greyed-out marks; the palette's disabled text is the closest match.
    case TSystemColor::clInactiveCaption: return pal.color(QPalette::Disabled, QPalette::WindowText);
    case TSystemColor::clWindow: return pal.color(QPalette::Active, QPalette::Base);
    }
    return Qt::black;
}
} // namespace

QColor SystemColor(const QWidget* Widget, TSystemColor Color) {
    // The Active group throughout: system colours do not change with a control's own state.
    // Colours are 8 bits a channel, as they land in pixels.
    const QPalette pal = Widget ? Widget->palette() : QApplication::palette();
    return QColor::fromRgb(PaletteColor(pal, Color).rgb());
}

void SyncHotFont(TJvFont& HotFont, const TJvFont& Font, TJvTrackFontOptions Options) {
    if (!Options.testFlag(hoFollowFont)) return;
    if (!Options.testFlag(hoPreserveColor)) HotFont.Color = Font.Color;
    if (!Options.testFlag(hoPreserveHeight)) {
        if (Font.Font.pixelSize() > 0) {
            HotFont.Font.setPixelSize(Font.Font.pixelSize());
        } else {
            HotFont.Font.setPointSizeF(Font.Font.pointSizeF());
        }
    }
    if (!Options.testFlag(hoPreserveName)) HotFont.Font.setFamilies(Font.Font.families());
    if (!Options.testFlag(hoPreservePitch)) {
        HotFont.Font.setFixedPitch(Font.Font.fixedPitch());
        HotFont.Font.setStyleHint(Font.Font.styleHint());
    }
    if (!Options.testFlag(hoPreserveStyle)) {
        HotFont.Font.setWeight(Font.Font.weight());
        HotFont.Font.setItalic(Font.Font.italic());
        HotFont.Font.setUnderline(Font.Font.underline());
        HotFont.Font.setStrikeOut(Font.Font.strikeOut());
    }
}

const QImage* CheckerPattern() {
    static std::unique_ptr<QImage> pattern;
    static bool tried = false;
    if (!tried) {
        tried = true;
        try {
            auto image = std::make_unique<QImage>(8, 8, QImage::Format_RGB32);
            if (!image->isNull()) {
                image->fill(SystemColor(nullptr, TSystemColor::clBtnFace));
                for (int y = 0; y < 8; ++y) {
                    for (int x = 0; x < 8; ++x) {
                        if ((x % 2) == (y % 2)) image->setPixel(x, y, qRgb(255, 255, 255));
                    }
                }
                pattern = std::move(image);
            }
        } catch (...) {
            // No pattern: callers fill with the plain brush.
        }
    }
    return pattern.get();
}

TJvCustomGraphicButton::TJvCustomGraphicButton(QWidget* parent) : TJvExGraphicControl(parent) {
    FOpaque = false;
    setGeometry(0, 0, 40, 40);
    FHotFont = TJvFont{font(), FontColor()};
}

TJvCustomGraphicButton::~TJvCustomGraphicButton() {
    // The menu may die after us (it may even be our child): it must not call back.
    disconnect(FDropDownMenuGone);
}

void TJvCustomGraphicButton::SetFlatLook(bool Value) {
    if (Value == FFlatLook) return;
    FFlatLook = Value;
    // Kept as our own flag: Qt's opaque-paint attribute would leave the pixels that a frame
    // style does not cover undefined instead of showing the parent.
    FOpaque = !Value;
    RedrawWithBackground();
}

void TJvCustomGraphicButton::SetDown(bool Value) {
    if (FGroupIndex == 0) Value = false;
    if (Value == FDown) return;
    if (FDown && !FAllowAllUp) return;
    FDown = Value;
    NotifyGroup();
    Invalidate();
}

void TJvCustomGraphicButton::SetAllowAllUp(bool Value) {
    if (toolkit::StoreIfChanged(FAllowAllUp, Value)) NotifyGroup();
}

void TJvCustomGraphicButton::SetGroupIndex(int Value) {
    if (toolkit::StoreIfChanged(FGroupIndex, Value)) NotifyGroup();
}

void TJvCustomGraphicButton::NotifyGroup() {
    QWidget* parent = parentWidget();
    if (FGroupIndex == 0 || parent == nullptr) return;
    const QObjectList siblings = parent->children();
    for (QObject* sibling : siblings) {
        if (!sibling->isWidgetType()) continue;
        TGroupPressedEvent notice(FGroupIndex, this);
        QCoreApplication::sendEvent(sibling, &notice);
    }
}

void TJvCustomGraphicButton::GroupButtonDown(TJvCustomGraphicButton* Sender, int AGroupIndex) {
    if (AGroupIndex != FGroupIndex || Sender == this || Sender == nullptr) return;
    if (Sender->Down() && FDown) {
        FDown = false;
        ClearPressed();
        RedrawWithBackground();
    }
    FAllowAllUp = Sender->AllowAllUp();
}

bool TJvCustomGraphicButton::event(QEvent* e) {
    if (e->type() == GroupPressedEventType()) {
        auto* notice = static_cast<TGroupPressedEvent*>(e);
        GroupButtonDown(notice->Sender, notice->GroupIndex);
        return true;
    }
    return TJvExGraphicControl::event(e);
}

void TJvCustomGraphicButton::SetDropDownMenu(TPopupMenu* Value) {
    if (Value == FDropDownMenu) return;
    disconnect(FDropDownMenuGone);
    FDropDownMenu = Value;
    if (FDropDownMenu) {
        FDropDownMenuGone = connect(FDropDownMenu, &QObject::destroyed, this, [this] { SetDropDownMenu(nullptr); });
    }
    if (FDropArrow) Invalidate();
}

void TJvCustomGraphicButton::SetDropArrow(bool Value) {
    if (toolkit::StoreIfChanged(FDropArrow, Value)) Invalidate();
}

void TJvCustomGraphicButton::SetHotTrackFontOptions(TJvTrackFontOptions Value) {
    if (toolkit::StoreIfChanged(FHotTrackFontOptions, Value)) SyncOwnHotFont();
}

void TJvCustomGraphicButton::SyncOwnHotFont() { SyncHotFont(FHotFont, TJvFont{font(), FontColor()}, FHotTrackFontOptions); }

TJvFont TJvCustomGraphicButton::CurrentFont() const {
    if (FButtonState.testFlag(Hover) && FHotTrack) return FHotFont;
    return TJvFont{font(), FontColor()};
}

bool TJvCustomGraphicButton::IsInside(int X, int Y) const { return X >= 0 && Y >= 0 && X < width() && Y < height(); }

void TJvCustomGraphicButton::RedrawWithBackground() {
    // An immediate repaint; Qt paints the parent behind a widget without its own background first.
    repaint();
}

void TJvCustomGraphicButton::Click() {
    if (FGroupIndex != 0) SetDown(FAllowAllUp ? !FDown : true);
    try {
        TJvExGraphicControl::Click();
    } catch (...) {
        ClearPressed();
        RedrawWithBackground();
        throw;
    }
}

void TJvCustomGraphicButton::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    if (!isEnabled()) return;
    TJvExGraphicControl::MouseDown(Button, Shift, X, Y);
    if (IsInside(X, Y)) {
        FButtonState = TJvButtonState(Hover) | Pressed;
        RedrawWithBackground();
    }
    SetMouseCapture(true);
    const QPoint corner = mapToGlobal(QPoint(0, height()));
    PopupDropDown(Button, Shift, corner.x(), corner.y());
}

void TJvCustomGraphicButton::MouseMove(Qt::KeyboardModifiers Shift, int X, int Y) {
    TJvExGraphicControl::MouseMove(Shift, X, Y);
    if (!MouseCapture()) return;
    const bool inside = IsInside(X, Y);
    if (inside && !FButtonState.testFlag(Hover)) {
        FButtonState |= Hover;
        RedrawWithBackground();
    } else if (!inside && FButtonState.testFlag(Hover)) {
        FButtonState &= ~TJvButtonState(Hover);
        RedrawWithBackground();
    }
}

void TJvCustomGraphicButton::MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    if (MouseCapture()) SetMouseCapture(false);
    if (!isEnabled()) return;
    TJvExGraphicControl::MouseUp(Button, Shift, X, Y);
    ClearPressed();
    RedrawWithBackground();
}

bool TJvCustomGraphicButton::PopupDropDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    if (Button != Qt::LeftButton || FDropDownMenu == nullptr) return false;
    TPopupMenu* menu = FDropDownMenu;
    menu->SetPopupComponent(this);
    if (menu->Alignment() == TPopupAlignment::paRight) {
        X += width();
    } else if (menu->Alignment() == TPopupAlignment::paCenter) {
        X += width() / 2;
    }
    if (OnDropDownMenu) {
        bool handled = false;
        OnDropDownMenu(this, QPoint(X, Y), handled);
        if (handled) return true;
    }
    QPointer<TJvCustomGraphicButton> alive(this);
    menu->exec(QPoint(X, Y));
    if (!alive) return true;
    // The release that closed the menu went to the menu; a press that opened it never clicks.
    CancelPendingClick();
    MouseUp(Button, Shift, X, Y);
    if (OnMenuClosed) OnMenuClosed(this);
    return true;
}

void TJvCustomGraphicButton::DoTextChanged() {
    TJvExGraphicControl::DoTextChanged();
    RedrawWithBackground();
}

bool TJvCustomGraphicButton::DoDialogChar(int Key, Qt::KeyboardModifiers Shift, const QString& KeyText) {
    const Qt::KeyboardModifiers held = Shift & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier);
    if (IsAccel(Key, Caption()) && isEnabled() && held == Qt::AltModifier) {
        Click();
        return true;
    }
    return TJvExGraphicControl::DoDialogChar(Key, Shift, KeyText);
}

void TJvCustomGraphicButton::DoEnabledChanged() {
    TJvExGraphicControl::DoEnabledChanged();
    if (!isEnabled()) FButtonState = {};
    RedrawWithBackground();
}

void TJvCustomGraphicButton::DoFontChanged() {
    TJvExGraphicControl::DoFontChanged();
    SyncOwnHotFont();
}

void TJvCustomGraphicButton::DoColorChanged() {
    TJvExGraphicControl::DoColorChanged();
    // The font's colour lives in the palette: a palette change may be a font colour change.
    SyncOwnHotFont();
}

void TJvCustomGraphicButton::DoMouseEnter(QWidget* Control) {
    if (!isEnabled() || HoverTracked()) return;
    FButtonState |= Hover;
    TJvExGraphicControl::DoMouseEnter(Control);
    if (FFlatLook) RedrawWithBackground();
    if (FHotTrack) repaint();
}

void TJvCustomGraphicButton::DoMouseLeave(QWidget* Control) {
    if (!isEnabled() || !HoverTracked()) return;
    FButtonState &= ~TJvButtonState(Hover);
    TJvExGraphicControl::DoMouseLeave(Control);
    if (FFlatLook) RedrawWithBackground();
    if (FHotTrack) repaint();
}

void TJvCustomGraphicButton::SysColorChanged() {
    TJvExGraphicControl::SysColorChanged();
    RedrawWithBackground();
}

void TJvCustomGraphicButton::PaintFace(QPainter& Canvas) {
    const TJvFont current = CurrentFont();
    Canvas.setFont(current.Font);
    Canvas.setPen(current.Color);
}

void TJvCustomGraphicButton::PaintDropArrow(QPainter& Canvas, const TPaintRect& ARect) {
    const QColor pen = SystemColor(this, isEnabled() ? TSystemColor::clWindowText : TSystemColor::clInactiveCaption);
    for (int i = 0; i <= 3; ++i) {
        const int left = ARect.Left + i;
        const int right = ARect.Right - i;
        if (left > right) break;
        // Lines end before their end point.
        if (right > left) Canvas.fillRect(QRect(left, ARect.Top + i, right - left, 1), pen);
    }
}

void TJvCustomGraphicButton::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    PaintBackdrop(canvas);
    PaintFace(canvas);
    if (FDropArrow && FDropDownMenu) {
        TPaintRect arrow{width() - 16, height() / 2, width() - 9, height() / 2 + 9};
        if (FButtonState.testFlag(Pressed)) arrow.Offset(1, 1);
        PaintDropArrow(canvas, arrow);
    }
}
