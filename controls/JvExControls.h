#pragma once
// The windowless control: a child widget without a background of its own, so that it paints on
// what its parent has drawn. It turns Qt's change, pointer and key notifications into hooks a
// derived control overrides, adds the pointer enter/leave and parent-colour events, and carries
// what every control has: a caption, a colour that follows the parent until set, the mouse and
// click events and an optional action.
#include <QColor>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "toolkit/Classes.h"
#include "toolkit/qt/Actions.h"

using TControlNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;

// What a hint request carries: the text and the colour it is shown in.
struct THintInfo {
    QPoint CursorPos;
    QString HintStr;
    QColor HintColor;
};

class TJvExGraphicControl;

// Makes a control follow its action: caption, enabled state, hint and visibility.
class TControlActionLink : public TActionLink {
public:
    virtual void AssignClient(TJvExGraphicControl* AClient) { FClient = AClient; }
    TJvExGraphicControl* Client() const { return FClient; }

    bool IsCaptionLinked() const override;
    bool IsEnabledLinked() const override;
    void SetCaption(const QString& Value) override;
    void SetEnabled(bool Value) override;
    void SetHint(const QString& Value) override;
    void SetVisible(bool Value) override;

protected:
    TJvExGraphicControl* FClient = nullptr;
};

class TJvExGraphicControl : public QWidget, public toolkit::TComponent {
public:
    explicit TJvExGraphicControl(QWidget* parent = nullptr);
    ~TJvExGraphicControl() override;

    std::string ClassName() const override { return "TJvExGraphicControl"; }

    QString Caption() const { return FCaption; }
    // Stores a different text and runs DoTextChanged; the '&' mnemonic becomes the Alt accelerator.
    void SetCaption(const QString& Value);

    // The face colour; it follows the parent's colour until it is set.
    QColor Color() const;
    void SetColor(const QColor& Value);
    bool ParentColor() const { return FParentColor; }
    // The colour of Font.
    QColor FontColor() const;
    void SetFontColor(const QColor& Value);

    bool HoverTracked() const { return FHoverTracked; }
    bool MouseCapture() const { return FMouseCapture; }

    TBasicAction* Action() const;
    void SetAction(TBasicAction* Value);
    TControlActionLink* ActionLink() const { return FActionLink.get(); }

    TControlNotifyEvent OnMouseEnter;
    TControlNotifyEvent OnMouseLeave;
    TControlNotifyEvent OnParentColorChange;
    TControlNotifyEvent OnClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // Hooks; each default does what the toolkit does with the notification.
    virtual void DoTextChanged() {}
    // Key is a Qt key code; answers whether the character was taken.
    virtual bool DoDialogChar(int Key, Qt::KeyboardModifiers Shift, const QString& KeyText);
    virtual bool DoHitTest(int X, int Y);
    virtual void DoFocusChanged(QWidget* Control) {}
    virtual void DoParentFontChanged() {}
    virtual void DoParentColorChanged();
    virtual void DoVisibleChanged() {}
    virtual void DoEnabledChanged() {}
    virtual void DoColorChanged() {}
    virtual void DoFontChanged() {}
    virtual void DoMouseEnter(QWidget* Control);
    virtual void DoMouseLeave(QWidget* Control);
    virtual void DoParentShowHintChanged() {}
    virtual bool DoHintShow(THintInfo& HintInfo);
    // The system colours changed (palette or theme of the application).
    virtual void SysColorChanged() {}

    // The toolkit's click: OnClick if set, else the action.
    virtual void Click();

    // Entry points of the toolkit's mouse handling; they raise the mouse events.
    virtual void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    virtual void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    virtual void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    // The mouse is routed here between a press and its release (Qt's implicit grab does the
    // routing); this flag is the control's own view of it.
    void SetMouseCapture(bool Value) { FMouseCapture = Value; }
    // After a drop-down menu swallowed the release: no click until the next press.
    void CancelPendingClick() { FClickPending = false; }

    // Called when the action's properties change; CheckDefaults fills in only values still at default.
    virtual void ActionChange(toolkit::TObject* Sender, bool CheckDefaults);
    virtual std::unique_ptr<TControlActionLink> CreateActionLink();

    void Notification(toolkit::TComponent* AComponent, toolkit::TOperation Operation) override;

    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool DispatchHook(QEvent* e);
    void GrabMnemonic();

    QString FCaption;
    bool FParentColor = true;
    bool FHoverTracked = false;
    bool FMouseCapture = false;
    bool FClickPending = false;
    int FMnemonicId = 0;
    QMetaObject::Connection FFocusConnection;
    std::unique_ptr<TControlActionLink> FActionLink;
};

// True when Key is the accelerator character of Caption (the one after a single '&'), ignoring case.
bool IsAccel(int Key, const QString& Caption);
