#include "JvExControls.h"

#include <QApplication>
#include <QHelpEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPointer>
#include <QShortcutEvent>
#include <QToolTip>

#include "toolkit/ErrorReport.h"

bool IsAccel(int Key, const QString& Caption) {
    if (Key <= 0 || Key > 0xFFFF) return false;  // function and modifier keys are no characters
    for (qsizetype i = 0; i + 1 < Caption.size(); ++i) {
        if (Caption[i] != QLatin1Char('&')) continue;
        if (Caption[i + 1] == QLatin1Char('&')) {
            ++i;  // "&&" is a literal ampersand
            continue;
        }
        const QString accel = Caption.mid(i + 1, 1).toUpper();
        return accel == QString(QChar(Key)).toUpper();
    }
    return false;
}

// ---- TControlActionLink ----

bool TControlActionLink::IsCaptionLinked() const {
    return TActionLink::IsCaptionLinked() && FClient && FClient->Caption() == FullAction()->Caption();
}

bool TControlActionLink::IsEnabledLinked() const {
    return TActionLink::IsEnabledLinked() && FClient && FClient->isEnabled() == FullAction()->Enabled();
}

void TControlActionLink::SetCaption(const QString& Value) {
    if (FClient && IsCaptionLinked()) FClient->SetCaption(Value);
}

void TControlActionLink::SetEnabled(bool Value) {
    if (FClient && IsEnabledLinked()) FClient->setEnabled(Value);
}

void TControlActionLink::SetHint(const QString& Value) {
    if (FClient) FClient->setToolTip(Value);
}

void TControlActionLink::SetVisible(bool Value) {
    // A control without a parent would become a window of its own.
    if (FClient && FClient->parentWidget()) FClient->setVisible(Value);
}

// ---- TJvExGraphicControl ----

TJvExGraphicControl::TJvExGraphicControl(QWidget* parent) : QWidget(parent) {
    // No background of our own: what the parent painted shows through wherever we do not draw.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_NoSystemBackground, false);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setFocusPolicy(Qt::NoFocus);
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        FFocusConnection =
            connect(app, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { DoFocusChanged(now); });
    }
}

TJvExGraphicControl::~TJvExGraphicControl() {
    BeginDestroy();
    // QWidget's destructor may still move the focus; our hooks are gone by then.
    disconnect(FFocusConnection);
    FActionLink.reset();
}

void TJvExGraphicControl::SetCaption(const QString& Value) {
    if (Value == FCaption) return;
    FCaption = Value;
    GrabMnemonic();
    DoTextChanged();
}

void TJvExGraphicControl::GrabMnemonic() {
    if (FMnemonicId != 0) {
        releaseShortcut(FMnemonicId);
        FMnemonicId = 0;
    }
    const QKeySequence mnemonic = QKeySequence::mnemonic(FCaption);
    if (!mnemonic.isEmpty()) FMnemonicId = grabShortcut(mnemonic, Qt::WindowShortcut);
}

QColor TJvExGraphicControl::Color() const { return QColor::fromRgb(palette().color(QPalette::Active, QPalette::Window).rgb()); }

void TJvExGraphicControl::SetColor(const QColor& Value) {
    FParentColor = false;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Value);
    setPalette(pal);
}

QColor TJvExGraphicControl::FontColor() const { return QColor::fromRgb(palette().color(QPalette::Active, QPalette::WindowText).rgb()); }

void TJvExGraphicControl::SetFontColor(const QColor& Value) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Value);
    setPalette(pal);
}

TBasicAction* TJvExGraphicControl::Action() const { return FActionLink ? FActionLink->Action() : nullptr; }

void TJvExGraphicControl::SetAction(TBasicAction* Value) {
    TBasicAction* old = Action();
    if (Value == old) return;
    if (old) RemoveFreeNotification(old);
    if (Value == nullptr) {
        FActionLink.reset();
        return;
    }
    if (!FActionLink) {
        FActionLink = CreateActionLink();
        FActionLink->AssignClient(this);
        FActionLink->OnChange = [this](TBasicAction* sender) { ActionChange(sender, false); };
    }
    FActionLink->SetAction(Value);
    FreeNotification(Value);
    ActionChange(Value, false);
}

std::unique_ptr<TControlActionLink> TJvExGraphicControl::CreateActionLink() {
    return std::make_unique<TControlActionLink>();
}

void TJvExGraphicControl::ActionChange(toolkit::TObject* Sender, bool CheckDefaults) {
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (action == nullptr) return;
    if (!CheckDefaults || Caption().isEmpty()) SetCaption(action->Caption());
    if (!CheckDefaults || isEnabled()) setEnabled(action->Enabled());
    if (!CheckDefaults || toolTip().isEmpty()) setToolTip(action->Hint());
    if (parentWidget() && (!CheckDefaults || isVisible())) setVisible(action->Visible());
}

void TJvExGraphicControl::Notification(toolkit::TComponent* AComponent, toolkit::TOperation Operation) {
    toolkit::TComponent::Notification(AComponent, Operation);
    if (Operation == toolkit::TOperation::opRemove && AComponent != nullptr && AComponent == Action()) {
        SetAction(nullptr);
    }
}

bool TJvExGraphicControl::DoDialogChar(int, Qt::KeyboardModifiers, const QString&) { return false; }

bool TJvExGraphicControl::DoHitTest(int X, int Y) { return rect().contains(X, Y); }

void TJvExGraphicControl::DoParentColorChanged() {
    if (OnParentColorChange) OnParentColorChange(this);
}

void TJvExGraphicControl::DoMouseEnter(QWidget*) {
    FHoverTracked = true;
    if (OnMouseEnter) OnMouseEnter(this);
}

void TJvExGraphicControl::DoMouseLeave(QWidget*) {
    FHoverTracked = false;
    if (OnMouseLeave) OnMouseLeave(this);
}

bool TJvExGraphicControl::DoHintShow(THintInfo& HintInfo) {
    if (QWidget* parent = parentWidget()) HintInfo.HintColor = parent->palette().color(QPalette::ToolTipBase);
    return false;
}

void TJvExGraphicControl::Click() {
    if (OnClick) {
        OnClick(this);
    } else if (FActionLink) {
        FActionLink->Execute();
    }
}

void TJvExGraphicControl::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TJvExGraphicControl::MouseMove(Qt::KeyboardModifiers Shift, int X, int Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TJvExGraphicControl::MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TJvExGraphicControl::mousePressEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    if (e->button() == Qt::LeftButton) FClickPending = true;
    MouseDown(e->button(), e->modifiers(), pos.x(), pos.y());
}

void TJvExGraphicControl::mouseDoubleClickEvent(QMouseEvent* e) {
    // No double-click style: the second click of a pair is just another press.
    mousePressEvent(e);
}

void TJvExGraphicControl::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    MouseMove(e->modifiers(), pos.x(), pos.y());
}

void TJvExGraphicControl::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    if (e->button() == Qt::LeftButton && FClickPending) {
        FClickPending = false;
        if (rect().contains(pos)) {
            QPointer<TJvExGraphicControl> alive(this);
            Click();
            if (!alive) return;  // the click handler destroyed this control
        }
    }
    MouseUp(e->button(), e->modifiers(), pos.x(), pos.y());
}

bool TJvExGraphicControl::event(QEvent* e) {
    // Qt cannot carry an exception through its event loop: whatever a handler lets escape ends
    // that handler here and goes to the central report.
    try {
        if (DispatchHook(e)) return true;
        return QWidget::event(e);
    } catch (...) {
        if (e->type() == QEvent::MouseButtonRelease) {
            FMouseCapture = false;
            FClickPending = false;
        }
        toolkit::ReportException(this);
        return true;
    }
}

bool TJvExGraphicControl::DispatchHook(QEvent* e) {
    switch (e->type()) {
    case QEvent::Shortcut: {
        auto* se = static_cast<QShortcutEvent*>(e);
        if (se->shortcutId() != FMnemonicId || se->key().isEmpty()) return false;
        const QKeyCombination combo = se->key()[0];
        const bool handled = DoDialogChar(combo.key(), combo.keyboardModifiers(), QString(QChar(combo.key())));
        e->setAccepted(handled);
        return true;
    }
    case QEvent::Enter:
        DoMouseEnter(this);
        return false;
    case QEvent::Leave:
        DoMouseLeave(this);
        return false;
    case QEvent::EnabledChange:
        DoEnabledChanged();
        return false;
    case QEvent::FontChange:
        if (!testAttribute(Qt::WA_SetFont)) DoParentFontChanged();
        DoFontChanged();
        return false;
    case QEvent::PaletteChange:
        if (FParentColor) DoParentColorChanged();
        DoColorChanged();
        return false;
    case QEvent::Show:
    case QEvent::Hide:
        DoVisibleChanged();
        return false;
    case QEvent::ApplicationPaletteChange:
    case QEvent::ThemeChange:
        SysColorChanged();
        return false;
    case QEvent::ToolTip: {
        auto* he = static_cast<QHelpEvent*>(e);
        THintInfo info{he->globalPos(), toolTip(), palette().color(QPalette::ToolTipBase)};
        if (DoHintShow(info)) return true;
        if (info.HintStr.isEmpty()) {
            QToolTip::hideText();
            e->ignore();
            return true;
        }
        // Qt's tool-tip colours are application-wide; HintColor is for hooks to read.
        QToolTip::showText(he->globalPos(), info.HintStr, this);
        return true;
    }
    default:
        return false;
    }
}
