#pragma once
// The push button behind the flat button: the mouse state machine, the sticky down state shared
// by a group of buttons, the click and its Alt accelerator, the drop-down menu, the hot-track
// font and the paint sequence a derived button fills in.
#include <QColor>
#include <QFlags>
#include <QFont>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPointer>

#include "controls/JvExControls.h"

// A rectangle with exclusive right and bottom edges, as the painting rules count.
struct TPaintRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    void Inflate(int dx, int dy) {
        Left -= dx;
        Top -= dy;
        Right += dx;
        Bottom += dy;
    }
    void Offset(int dx, int dy) {
        Left += dx;
        Right += dx;
        Top += dy;
        Bottom += dy;
    }
    QRect ToQRect() const { return QRect(Left, Top, Right - Left, Bottom - Top); }
    bool operator==(const TPaintRect&) const = default;
};

// The system colours the buttons paint with, taken from the widget's palette.
enum class TSystemColor { clBtnFace, clBtnShadow, clBtnHighlight, cl3DDkShadow, clWindowText, clInactiveCaption, clWindow };
QColor SystemColor(const QWidget* Widget, TSystemColor Color);

enum TJvTrackFontOption {
    hoFollowFont = 0x01,
    hoPreserveCharSet = 0x02,
    hoPreserveColor = 0x04,
    hoPreserveHeight = 0x08,
    hoPreserveName = 0x10,
    hoPreservePitch = 0x20,
    hoPreserveStyle = 0x40,
};
Q_DECLARE_FLAGS(TJvTrackFontOptions, TJvTrackFontOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TJvTrackFontOptions)

// A font with its colour (a QFont has none).
struct TJvFont {
    QFont Font;
    QColor Color;
    bool operator==(const TJvFont&) const = default;
};

// Copies into HotFont the parts of Font that Options do not preserve, when hoFollowFont is set.
// Qt fonts carry no character set, so hoPreserveCharSet has nothing to act on.
void SyncHotFont(TJvFont& HotFont, const TJvFont& Font, TJvTrackFontOptions Options);

enum class TPopupAlignment { paLeft, paRight, paCenter };

// A popup menu that knows how it lines up with the control that opens it, and which control that was.
class TPopupMenu : public QMenu {
public:
    using QMenu::QMenu;
    TPopupAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TPopupAlignment Value) { FAlignment = Value; }
    QObject* PopupComponent() const { return FPopupComponent; }
    void SetPopupComponent(QObject* Value) { FPopupComponent = Value; }

private:
    TPopupAlignment FAlignment = TPopupAlignment::paLeft;
    QPointer<QObject> FPopupComponent;
};

using TContextPopupEvent = std::function<void(QObject* Sender, QPoint MousePos, bool& Handled)>;

// The shared 8 by 8 checker bitmap (button face with white where x and y are both even or both
// odd), made on first use. Null when it could not be made; callers then fill plainly.
const QImage* CheckerPattern();

class TJvCustomGraphicButton : public TJvExGraphicControl {
public:
    enum TJvButtonStateItem { Hover = 0x1, Pressed = 0x2 };
    using TJvButtonState = QFlags<TJvButtonStateItem>;

    explicit TJvCustomGraphicButton(QWidget* parent = nullptr);
    ~TJvCustomGraphicButton() override;

    std::string ClassName() const override { return "TJvCustomGraphicButton"; }

    TJvButtonState ButtonState() const { return FButtonState; }
    bool FlatLook() const { return FFlatLook; }
    // Flat: no opaque style, the parent paints behind; then redraws.
    void SetFlatLook(bool Value);
    // The toolkit's opaque style (the control covers its whole rectangle).
    bool Opaque() const { return FOpaque; }

    bool Down() const { return FDown; }
    void SetDown(bool Value);
    bool AllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool Value);
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int Value);

    TPopupMenu* DropDownMenu() const { return FDropDownMenu; }
    void SetDropDownMenu(TPopupMenu* Value);
    bool DropArrow() const { return FDropArrow; }
    void SetDropArrow(bool Value);

    bool HotTrack() const { return FHotTrack; }
    void SetHotTrack(bool Value) { FHotTrack = Value; }
    const TJvFont& HotTrackFont() const { return FHotFont; }
    // Copies the font; no sync, no repaint.
    void SetHotTrackFont(const TJvFont& Value) { FHotFont = Value; }
    TJvTrackFontOptions HotTrackFontOptions() const { return FHotTrackFontOptions; }
    void SetHotTrackFontOptions(TJvTrackFontOptions Value);

    TContextPopupEvent OnDropDownMenu;
    TControlNotifyEvent OnMenuClosed;

    // The font the caption is painted in now: the hot font while hovered with hot tracking.
    TJvFont CurrentFont() const;

    // Virtual operations, in slot order after the base's.
    virtual void GroupButtonDown(TJvCustomGraphicButton* Sender, int AGroupIndex);
    virtual bool PopupDropDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    virtual void PaintFace(QPainter& Canvas);
    virtual void PaintBackdrop(QPainter& Canvas) {}
    virtual bool IsInside(int X, int Y) const;
    virtual void RedrawWithBackground();
    virtual void PaintDropArrow(QPainter& Canvas, const TPaintRect& ARect);

    void Click() override;
    void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) override;
    void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y) override;
    void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) override;

    void DoTextChanged() override;
    bool DoDialogChar(int Key, Qt::KeyboardModifiers Shift, const QString& KeyText) override;
    void DoEnabledChanged() override;
    void DoFontChanged() override;
    void DoMouseEnter(QWidget* Control) override;
    void DoMouseLeave(QWidget* Control) override;
    void SysColorChanged() override;

protected:
    // The deferred repaint of the button's rectangle (the parent repaints behind it first).
    void Invalidate() { update(); }
    // Clears Pressed (after a failed click or a group release).
    void ClearPressed() { FButtonState &= ~TJvButtonState(Pressed); }

    void paintEvent(QPaintEvent* e) override;
    bool event(QEvent* e) override;

private:
    void NotifyGroup();
    void SyncOwnHotFont();
    void DoColorChanged() override;

    TJvButtonState FButtonState;
    bool FFlatLook = false;
    bool FOpaque = false;
    TPopupMenu* FDropDownMenu = nullptr;
    QMetaObject::Connection FDropDownMenuGone;
    bool FDown = false;
    bool FAllowAllUp = false;
    int FGroupIndex = 0;
    bool FHotTrack = false;
    TJvFont FHotFont;
    TJvTrackFontOptions FHotTrackFontOptions = hoFollowFont | hoPreserveColor | hoPreserveStyle;
    bool FDropArrow = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TJvCustomGraphicButton::TJvButtonState)
