#include "JvTransparentButton.h"

#include "toolkit/SysUtils.h"

#include <QFontMetrics>

#include <algorithm>
#include <vector>

namespace {

// Frames wider than any screen only shrink the rectangle; this bounds the work and keeps the
// coordinates far from overflow.
constexpr int64_t kMaxFrameWidth = 1 << 20;

// Spacing and the press offset move pictures and text; beyond any widget's size (Qt's limit is
// 2^24 - 1) they only move them further out of sight, and capping them there keeps the layout
// sums within int.
constexpr int kMaxLayoutShift = 1 << 24;
int LayoutShift(int Value) { return std::clamp(Value, -kMaxLayoutShift, kMaxLayoutShift); }

const QColor kBlack(0, 0, 0);
const QColor kLightGrey(223, 223, 223);

void HLine(QPainter& Canvas, int X1, int X2, int Y, const QColor& Color) {  // X1..X2 inclusive
    if (X2 >= X1) Canvas.fillRect(QRect(X1, Y, X2 - X1 + 1, 1), Color);
}

void VLine(QPainter& Canvas, int X, int Y1, int Y2, const QColor& Color) {  // Y1..Y2 inclusive
    if (Y2 >= Y1) Canvas.fillRect(QRect(X, Y1, 1, Y2 - Y1 + 1), Color);
}

// An outlined rectangle filled with the brush; R's right and bottom edges are exclusive.
void OutlineRect(QPainter& Canvas, const TPaintRect& R, const QColor& Pen, int64_t PenWidth, const QColor& Brush) {
    if (R.Right <= R.Left || R.Bottom <= R.Top) return;
    Canvas.fillRect(R.ToQRect(), Brush);
    // A width of 0 is the thinnest pen.
    const int width = static_cast<int>(std::clamp<int64_t>(PenWidth, 1, kMaxFrameWidth));
    Canvas.save();
    Canvas.setPen(QPen(Pen, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    Canvas.setBrush(Qt::NoBrush);
    Canvas.drawRect(QRect(R.Left, R.Top, R.Width() - 1, R.Height() - 1));
    Canvas.restore();
}

bool IsBlack(QRgb Pixel) { return qRed(Pixel) == 0 && qGreen(Pixel) == 0 && qBlue(Pixel) == 0; }

} // namespace

// ---- pictures ----

void Draw3DFrame(QPainter& Canvas, TPaintRect& R, const QColor& TopColor, const QColor& BottomColor, int64_t Width) {
    if (Width <= 0) return;
    const int n = static_cast<int>(std::min(Width, kMaxFrameWidth));
    R.Right -= 1;
    R.Bottom -= 1;
    for (int i = 0; i < n; ++i) {
        if (R.Left <= R.Right && R.Top <= R.Bottom) {
            // (left, bottom) -> (left, top) -> (right, top), each end point left out
            VLine(Canvas, R.Left, R.Top + 1, R.Bottom, TopColor);
            HLine(Canvas, R.Left, R.Right - 1, R.Top, TopColor);
            // (right, top) -> (right, bottom) -> (left - 1, bottom)
            VLine(Canvas, R.Right, R.Top, R.Bottom - 1, BottomColor);
            HLine(Canvas, R.Left, R.Right, R.Bottom, BottomColor);
        }
        R.Inflate(-1, -1);
    }
    R.Right += 1;
    R.Bottom += 1;
}

void MakeGrayscale(QImage& Bitmap) {
    if (Bitmap.isNull()) return;
    Bitmap = Bitmap.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < Bitmap.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(Bitmap.scanLine(y));
        for (int x = 0; x < Bitmap.width(); ++x) {
            const int level = (11 * qRed(line[x]) + 59 * qGreen(line[x]) + 30 * qBlue(line[x])) / 100;
            line[x] = qRgb(level, level, level);
        }
    }
}

void MakeEmbossed(QImage& Bitmap, const QWidget* Palette) {
    if (Bitmap.isNull()) return;
    const QImage source = Bitmap.convertToFormat(QImage::Format_RGB32);
    const int w = source.width();
    const int h = source.height();
    std::vector<bool> marked(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) marked[static_cast<size_t>(y) * w + x] = IsBlack(source.pixel(x, y));
    }
    QImage result(w, h, QImage::Format_RGB32);
    result.fill(SystemColor(Palette, TSystemColor::clBtnFace));
    const QRgb highlight = SystemColor(Palette, TSystemColor::clBtnHighlight).rgb();
    const QRgb shadow = SystemColor(Palette, TSystemColor::clBtnShadow).rgb();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (marked[static_cast<size_t>(y) * w + x] && x + 1 < w && y + 1 < h) result.setPixel(x + 1, y + 1, highlight);
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (marked[static_cast<size_t>(y) * w + x]) result.setPixel(x, y, shadow);
        }
    }
    Bitmap = result;
}

void MakeDisabledGlyph(QImage& Bitmap, const QWidget* Palette) {
    if (Bitmap.isNull()) return;
    Bitmap = Bitmap.convertToFormat(QImage::Format_RGB32);
    const QRgb background = Bitmap.pixel(0, 0) | 0xFF000000u;
    const QRgb white = qRgb(255, 255, 255);
    const QRgb black = qRgb(0, 0, 0);
    for (int y = 0; y < Bitmap.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(Bitmap.scanLine(y));
        for (int x = 0; x < Bitmap.width(); ++x) {
            const QRgb pixel = line[x] | 0xFF000000u;
            line[x] = (pixel == white || pixel == background) ? background : black;
        }
    }
    MakeEmbossed(Bitmap, Palette);
}

QColor TransparentColorOf(const QImage& Bitmap) {
    if (Bitmap.isNull()) return QColor();
    return QColor(Bitmap.pixel(0, Bitmap.height() - 1));
}

// ---- TJvTransparentButtonImages ----

TJvTransparentButtonImages::TJvTransparentButtonImages(TJvTransparentButton* AOwner) : FButton(AOwner) {
    for (Source* entry : {&FActive, &FGray, &FDisabled, &FDown, &FHot}) {
        entry->Link.OnChange = [this](TCustomImageList*) { FButton->GlyphModified(); };
    }
}

void TJvTransparentButtonImages::Assign(const toolkit::TPersistent* Source) {
    const auto* other = dynamic_cast<const TJvTransparentButtonImages*>(Source);
    if (other == nullptr) {
        toolkit::TPersistent::Assign(Source);
        return;
    }
    SetActiveImage(other->ActiveImage());
    SetGrayImage(other->GrayImage());
    SetDisabledImage(other->DisabledImage());
    SetDownImage(other->DownImage());
    SetHotImage(other->HotImage());
    SetActiveIndex(other->ActiveIndex());
    SetGrayIndex(other->GrayIndex());
    SetDisabledIndex(other->DisabledIndex());
    SetDownIndex(other->DownIndex());
    SetHotIndex(other->HotIndex());
}

void TJvTransparentButtonImages::SetList(Source& Entry, TCustomImageList* Value) {
    if (Entry.List == Value) return;
    if (TCustomImageList* registered = Entry.Link.Sender()) registered->UnRegisterChanges(&Entry.Link);
    Entry.List = Value;
    if (Value) {
        Value->RegisterChanges(&Entry.Link);
        FButton->FreeNotification(Value);
    }
    FButton->RebuildFromImages();
}

void TJvTransparentButtonImages::SetIndex(Source& Entry, TImageIndex Value) {
    if (Entry.Index == Value) return;
    Entry.Index = Value;
    FButton->RebuildFromImages();
}

void TJvTransparentButtonImages::ListRemoved(const toolkit::TComponent* List) {
    // The list is part-destroyed already: every reference to it goes before the one rebuild, which
    // would otherwise read it through a state not yet cleared.
    bool removed = false;
    for (Source* entry : {&FActive, &FGray, &FDisabled, &FDown, &FHot}) {
        if (entry->List == nullptr || static_cast<const toolkit::TComponent*>(entry->List) != List) continue;
        if (TCustomImageList* registered = entry->Link.Sender()) registered->UnRegisterChanges(&entry->Link);
        entry->List = nullptr;
        removed = true;
    }
    if (removed) FButton->RebuildFromImages();
}

// ---- TJvTransparentButtonActionLink ----

void TJvTransparentButtonActionLink::AssignClient(TJvExGraphicControl* AClient) {
    TControlActionLink::AssignClient(AClient);
    FButtonClient = dynamic_cast<TJvCustomGraphicButton*>(AClient);
}

bool TJvTransparentButtonActionLink::IsCheckedLinked() const {
    const auto* button = dynamic_cast<const TJvTransparentButton*>(FButtonClient);
    return button != nullptr && TControlActionLink::IsCheckedLinked() && FullAction()->Checked() == button->Down();
}

void TJvTransparentButtonActionLink::SetChecked(bool Value) {
    if (!IsCheckedLinked()) return;
    if (auto* button = dynamic_cast<TJvTransparentButton*>(FButtonClient)) button->SetDown(Value);
}

void TJvTransparentButtonActionLink::SetImageIndex(int Value) {
    auto* button = dynamic_cast<TJvTransparentButton*>(FButtonClient);
    if (button == nullptr) return;
    TJvTransparentButtonImages* images = button->Images();
    images->SetActiveIndex(Value);
    images->SetGrayIndex(Value);
    images->SetDisabledIndex(Value);
    images->SetDownIndex(Value);
    images->SetHotIndex(Value);
}

// ---- TJvTransparentButton ----

TJvTransparentButton::TJvTransparentButton(QWidget* parent)
    : TJvCustomGraphicButton(parent),
      FGlyphList(std::make_unique<TImageList>(16, 16)),
      FImages(std::make_unique<TJvTransparentButtonImages>(this)) {}

TJvTransparentButton::~TJvTransparentButton() {
    BeginDestroy();
    // The images object unhooks its change links from the lists before the glyph list goes.
    FImages.reset();
    FGlyphList.reset();
}

void TJvTransparentButton::SetAutoGray(bool Value) {
    if (toolkit::StoreIfChanged(FAutoGray, Value)) Invalidate();
}

void TJvTransparentButton::SetBorderWidth(uint32_t Value) {
    if (toolkit::StoreIfChanged(FBorderWidth, Value)) Invalidate();
}

void TJvTransparentButton::SetFrameStyle(TJvFrameStyle Value) {
    if (!toolkit::StoreIfChanged(FFrameStyle, Value)) return;
    SetFlatLook(FTransparent);
    Invalidate();
}

void TJvTransparentButton::SetSpacing(int Value) {
    if (toolkit::StoreIfChanged(FSpacing, Value)) Invalidate();
}

void TJvTransparentButton::SetTextAlign(TJvTextAlign Value) {
    if (toolkit::StoreIfChanged(FTextAlign, Value)) Invalidate();
}

void TJvTransparentButton::SetTransparent(bool Value) {
    if (!toolkit::StoreIfChanged(FTransparent, Value)) return;
    SetFlatLook(Value);
    Invalidate();
}

void TJvTransparentButton::SetWordWrap(bool Value) {
    if (toolkit::StoreIfChanged(FWordWrap, Value)) Invalidate();
}

void TJvTransparentButton::SetGlyph(const QImage& Value) {
    FGlyph = Value.isNull() ? QImage() : Value.convertToFormat(QImage::Format_RGB32);
    GlyphModified();
    if (GlyphIsEmpty()) RebuildFromImages();
    CheckGlyphCount();
    Invalidate();
}

void TJvTransparentButton::SetNumGlyphs(TNumGlyphs Value) {
    // The cell count divides the glyph's width: keep it within the range the type allows.
    Value = std::clamp(Value, 1, 4);
    if (Value == FNumGlyphs) return;
    FNumGlyphs = Value;
    if (!GlyphIsEmpty()) {
        GlyphModified();
        Invalidate();
    }
}

void TJvTransparentButton::SetImages(const TJvTransparentButtonImages* Value) { FImages->Assign(Value); }

void TJvTransparentButton::GlyphModified() {
    if (GlyphIsEmpty()) {
        RebuildFromImages();
    } else {
        RebuildFromGlyph();
    }
    Invalidate();
}

void TJvTransparentButton::CheckGlyphCount() {
    if (GlyphIsEmpty() || FGlyph.width() % FGlyph.height() != 0) return;
    const int cells = FGlyph.width() / FGlyph.height();
    SetNumGlyphs(cells <= 4 ? cells : 1);
}

void TJvTransparentButton::RebuildFromGlyph() {
    if (GlyphIsEmpty()) return;
    FGlyphList->Clear();
    const int cw = FGlyph.width() / FNumGlyphs;
    const int h = FGlyph.height();
    if (cw <= 0) {  // narrower than its cell count: no picture can be cut from it
        Invalidate();
        return;
    }
    FGlyphList->SetSize(cw, h);
    for (int i = 0; i < FNumGlyphs; ++i) {
        const QImage scratch = FGlyph.copy(i * cw, 0, cw, h);
        if (i == 0) {
            FGrayGlyph = scratch;
            MakeGrayscale(FGrayGlyph);
            FDisabledGlyph = scratch;
            MakeDisabledGlyph(FDisabledGlyph, this);
        }
        FGlyphList->AddMasked(scratch, TransparentColorOf(scratch));
    }
    FGlyphList->AddMasked(FGrayGlyph, TransparentColorOf(FGrayGlyph));
    FGlyphList->AddMasked(FDisabledGlyph, TransparentColorOf(FDisabledGlyph));
    Invalidate();
}

bool TJvTransparentButton::AppendImage(TCustomImageList* List, TImageIndex Index) {
    // An index past the list's end is as absent as a negative one.
    if (List == nullptr || Index < 0 || Index >= List->Count()) return false;
    FGlyphList->AddIcon(List->GetIcon(Index));
    return true;
}

void TJvTransparentButton::RebuildFromImages() {
    if (!GlyphIsEmpty()) return;
    FGlyphList->SetBkColor(QColor());
    FGlyphList->Clear();
    const TJvTransparentButtonImages& im = *FImages;
    TCustomImageList* active = im.ActiveImage();
    const TImageIndex index = im.ActiveIndex();
    if (active == nullptr || index < 0) {
        repaint();
        return;
    }
    FGlyphList->SetSize(active->Width(), active->Height());
    FGlyphList->SetMasked(active->Masked());
    FGlyphList->SetImageType(active->ImageType());
    FGlyphList->SetDrawingStyle(active->DrawingStyle());
    FGlyphList->SetBlendColor(active->BlendColor());
    // Without the active picture there is nothing to derive the others from: no entries at all,
    // rather than a list whose entries sit at the wrong places.
    if (!AppendImage(active, index)) {
        repaint();
        return;
    }
    if (!AppendImage(im.DisabledImage(), im.DisabledIndex())) {
        QImage bitmap;
        active->GetBitmap(index, bitmap);
        MakeEmbossed(bitmap, this);
        FGlyphList->AddMasked(bitmap, TransparentColorOf(bitmap));
    }
    if (!AppendImage(im.DownImage(), im.DownIndex())) AppendImage(active, index);
    if (!AppendImage(im.GrayImage(), im.GrayIndex())) {
        QImage bitmap;
        active->GetBitmap(index, bitmap);
        MakeGrayscale(bitmap);
        FGlyphList->AddMasked(bitmap, TransparentColorOf(bitmap));
    }
    if (!AppendImage(im.HotImage(), im.HotIndex())) AppendImage(active, index);
    repaint();
}

int TJvTransparentButton::GlyphIndexForState() const {
    const bool enabled = isEnabled();
    const bool hover = ButtonState().testFlag(Hover);
    const bool pressed = ButtonState().testFlag(Pressed);
    const bool down = Down();
    if (GlyphIsEmpty()) {
        if (!enabled) return 1;
        if ((pressed && (FKeepMouseLeavePressed || hover)) || down) return 2;
        if (FFrameStyle == TJvFrameStyle::fsExplorer && FAutoGray && ButtonState() == TJvButtonState()) return 3;
        if (hover && HotTrack()) return 4;
        return 0;
    }
    const int count = FGlyphList->Count();
    int k = 0;
    switch (FNumGlyphs) {
    case 2: k = enabled ? 0 : 1; break;
    case 3:
    case 4: k = !enabled ? 1 : ((pressed || down) ? 2 : 0); break;
    default: k = 0; break;
    }
    if ((FlatLook() || FFrameStyle == TJvFrameStyle::fsExplorer) && FAutoGray && !hover && !down) k = count - 2;
    if (!enabled && FNumGlyphs == 1) k = count - 1;
    return k;
}

void TJvTransparentButton::FillFace(QPainter& Canvas) const {
    if (!FTransparent) Canvas.fillRect(QRect(0, 0, width(), height()), Color());
}

void TJvTransparentButton::PaintBackdrop(QPainter& Canvas) {
    const int W = width();
    const int H = height();
    const QColor shadow = SystemColor(this, TSystemColor::clBtnShadow);
    const QColor highlight = SystemColor(this, TSystemColor::clBtnHighlight);
    const int64_t bw = FBorderWidth;

    TPaintRect r{0, 0, W, H};
    switch (FFrameStyle) {
    case TJvFrameStyle::fsRegular:
        if (FTransparent) {
            TPaintRect frame{1, 1, W, H};
            Draw3DFrame(Canvas, frame, kBlack, kBlack, bw);
        } else {
            OutlineRect(Canvas, TPaintRect{1, 1, W, H}, kBlack, bw, Color());
        }
        break;
    case TJvFrameStyle::fsIndent: {
        if (FTransparent) {
            TPaintRect outer{0, 0, W - 1, H - 1};
            Draw3DFrame(Canvas, outer, shadow, shadow, bw);
        } else {
            OutlineRect(Canvas, TPaintRect{0, 0, W - 1, H - 1}, shadow, bw, Color());
        }
        TPaintRect inner{1, 1, W, H};
        Draw3DFrame(Canvas, inner, highlight, highlight, bw);
        break;
    }
    case TJvFrameStyle::fsExplorer:
        FillFace(Canvas);
        Draw3DFrame(Canvas, r, highlight, shadow, 1);
        break;
    case TJvFrameStyle::fsNone:
    case TJvFrameStyle::fsLight:
    case TJvFrameStyle::fsDark:
    case TJvFrameStyle::fsMono:
        FillFace(Canvas);
        break;
    }

    r = TPaintRect{1, 1, W - 1, H - 1};
    if (LooksPressed()) {
        if (FFrameStyle != TJvFrameStyle::fsNone) {
            r.Inflate(1, 1);
            PaintFramePressed(Canvas, r);
        }
    } else {
        const bool show = !FTransparent || ButtonState().testFlag(Hover);
        r.Inflate(1, 1);
        PaintFrameAtRest(Canvas, r, show);
    }

    if (!Caption().isEmpty()) {
        r.Inflate(1, 1);
        PaintCaption(r, Canvas);
    }
}

void TJvTransparentButton::PaintFramePressed(QPainter& Canvas, TPaintRect& R) {
    const QColor face = SystemColor(this, TSystemColor::clBtnFace);
    const QColor shadow = SystemColor(this, TSystemColor::clBtnShadow);
    const QColor highlight = SystemColor(this, TSystemColor::clBtnHighlight);
    const QColor darkShadow = SystemColor(this, TSystemColor::cl3DDkShadow);
    const int64_t bw = FBorderWidth;
    switch (FFrameStyle) {
    case TJvFrameStyle::fsRegular:
    case TJvFrameStyle::fsIndent:
        if (FShowPressed) {
            Draw3DFrame(Canvas, R, kBlack, highlight, bw);
            Draw3DFrame(Canvas, R, shadow, face, bw);
        }
        break;
    case TJvFrameStyle::fsExplorer:
        if (ButtonState().testFlag(Hover) || Down()) {
            if (FShowPressed) {
                Draw3DFrame(Canvas, R, shadow, highlight, bw);  // sunken
            } else {
                Draw3DFrame(Canvas, R, highlight, shadow, bw);  // raised
            }
        }
        break;
    case TJvFrameStyle::fsNone: break;
    case TJvFrameStyle::fsLight:
        if (FShowPressed) Draw3DFrame(Canvas, R, shadow, highlight, 1);
        break;
    case TJvFrameStyle::fsDark:
        if (FShowPressed) Draw3DFrame(Canvas, R, darkShadow, face, 1);
        break;
    case TJvFrameStyle::fsMono:
        if (FShowPressed) Draw3DFrame(Canvas, R, darkShadow, highlight, 1);
        break;
    }
}

void TJvTransparentButton::PaintFrameAtRest(QPainter& Canvas, TPaintRect& R, bool Show) {
    const QColor face = SystemColor(this, TSystemColor::clBtnFace);
    const QColor shadow = SystemColor(this, TSystemColor::clBtnShadow);
    const QColor highlight = SystemColor(this, TSystemColor::clBtnHighlight);
    const QColor darkShadow = SystemColor(this, TSystemColor::cl3DDkShadow);
    const int64_t bw = FBorderWidth;
    switch (FFrameStyle) {
    case TJvFrameStyle::fsRegular:
        if (Show) {
            Draw3DFrame(Canvas, R, highlight, kBlack, bw);
            Draw3DFrame(Canvas, R, kLightGrey, shadow, bw);
        }
        break;
    case TJvFrameStyle::fsIndent:
        if (Show) {
            Draw3DFrame(Canvas, R, shadow, highlight, bw);
            Draw3DFrame(Canvas, R, highlight, shadow, bw);
        }
        break;
    case TJvFrameStyle::fsExplorer:
        if (ButtonState().testFlag(Hover)) Draw3DFrame(Canvas, R, highlight, shadow, bw);  // raised
        break;
    case TJvFrameStyle::fsNone: break;
    case TJvFrameStyle::fsLight:
        if (Show) Draw3DFrame(Canvas, R, highlight, shadow, 1);
        break;
    case TJvFrameStyle::fsDark:
        if (Show) Draw3DFrame(Canvas, R, face, darkShadow, 1);
        break;
    case TJvFrameStyle::fsMono:
        if (Show) Draw3DFrame(Canvas, R, highlight, darkShadow, 1);
        break;
    }
}

TPaintRect TJvTransparentButton::GlyphRect() const {
    const int W = width();
    const int H = height();
    const int gw = FGlyphList->Width();
    const int gh = FGlyphList->Height();
    const int s = LayoutShift(FSpacing);
    int top = 0;
    switch (FTextAlign) {
    case TJvTextAlign::ttaBottomRight:
    case TJvTextAlign::ttaBottom:
    case TJvTextAlign::ttaBottomLeft: top = s; break;
    case TJvTextAlign::ttaTopLeft:
    case TJvTextAlign::ttaTop:
    case TJvTextAlign::ttaTopRight: top = H - gh - s; break;
    case TJvTextAlign::ttaRight:
    case TJvTextAlign::ttaLeft:
    case TJvTextAlign::ttaCenter: top = (H - gh) / 2; break;
    }
    int left = (W - gw) / 2;
    if (FTextAlign == TJvTextAlign::ttaLeft) left = W - gw - s;
    if (FTextAlign == TJvTextAlign::ttaRight) left = s;
    return TPaintRect{left, top, left + gw, top + gh};
}

void TJvTransparentButton::PaintFace(QPainter& Canvas) {
    const TPaintRect g = GlyphRect();
    if (FGlyphList->Count() >= 1) PaintGlyph(g, Canvas);
    if (!Caption().isEmpty()) PaintCaption(g, Canvas);
}

int TJvTransparentButton::TextFlags() const {
    return Qt::TextShowMnemonic | (FWordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
}

TPaintRect TJvTransparentButton::CaptionRect(const TPaintRect& Ref) const {
    const int W = width();
    const int H = height();
    const int s = LayoutShift(FSpacing);
    const QFontMetrics metrics(CurrentFont().Font, this);
    const QRect measured = metrics.boundingRect(QRect(0, 0, W, H), Qt::AlignLeft | Qt::AlignTop | TextFlags(), Caption());
    const int tw = measured.width();
    const int th = measured.height();
    int dx = 0;
    int dy = 0;
    switch (FTextAlign) {
    case TJvTextAlign::ttaTopLeft: dx = s; dy = Ref.Top - th - s; break;
    case TJvTextAlign::ttaTop: dx = W / 2 - tw / 2; dy = Ref.Top - th - s; break;
    case TJvTextAlign::ttaTopRight: dx = W - tw - s; dy = Ref.Top - th - s; break;
    case TJvTextAlign::ttaRight: dx = W - tw - s; dy = H / 2 - th / 2; break;
    case TJvTextAlign::ttaBottomRight: dx = W - tw - s; dy = Ref.Bottom + s; break;
    case TJvTextAlign::ttaBottom: dx = W / 2 - tw / 2; dy = Ref.Bottom + s; break;
    case TJvTextAlign::ttaBottomLeft: dx = s; dy = Ref.Bottom + s; break;
    case TJvTextAlign::ttaLeft: dx = s; dy = H / 2 - th / 2; break;
    case TJvTextAlign::ttaCenter: dx = W / 2 - tw / 2; dy = H / 2 - th / 2; break;
    }
    TPaintRect t{dx, dy, dx + tw, dy + th};
    if (LooksPressed() && FShowPressed) t.Offset(LayoutShift(FPressOffset), LayoutShift(FPressOffset));
    return t;
}

void TJvTransparentButton::DrawCaptionText(QPainter& Canvas, const TPaintRect& R, const QColor& Color) {
    Canvas.setPen(Color);
    Canvas.drawText(R.ToQRect(), Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip | TextFlags(), Caption());
}

void TJvTransparentButton::PaintCaption(const TPaintRect& Ref, QPainter& Canvas) {
    const TJvFont font = CurrentFont();
    Canvas.setFont(font.Font);
    const TPaintRect t = CaptionRect(Ref);
    Canvas.setBackgroundMode(Qt::TransparentMode);
    if (isEnabled()) {
        DrawCaptionText(Canvas, t, font.Color);
        return;
    }
    // Etched: highlight one pixel right and down, the shadow on top.
    const QPen previous = Canvas.pen();
    TPaintRect etched = t;
    etched.Offset(1, 1);
    DrawCaptionText(Canvas, etched, SystemColor(this, TSystemColor::clBtnHighlight));
    DrawCaptionText(Canvas, t, SystemColor(this, TSystemColor::clBtnShadow));
    Canvas.setPen(previous);
}

void TJvTransparentButton::PaintGlyph(const TPaintRect& GlyphRectIn, QPainter& Canvas) {
    const int k = GlyphIndexForState();
    const bool hover = ButtonState().testFlag(Hover);
    TPaintRect g = GlyphRectIn;
    if (LooksPressed() && FShowPressed) g.Offset(LayoutShift(FPressOffset), LayoutShift(FPressOffset));
    if (hover && LooksPressed() && !FTransparent) {
        const int inset = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(FBorderWidth) + 1, kMaxFrameWidth));
        TPaintRect client{0, 0, width(), height()};
        client.Inflate(-inset, -inset);
        if (client.Width() > 0 && client.Height() > 0) {
            if (const QImage* pattern = CheckerPattern()) {
                Canvas.fillRect(client.ToQRect(), QBrush(*pattern));
            } else {
                Canvas.fillRect(client.ToQRect(), Color());
            }
        }
    }
    if (k >= 0 && k < FGlyphList->Count()) FGlyphList->Draw(Canvas, g.Left, g.Top, k);
}

void TJvTransparentButton::ActionChange(toolkit::TObject* Sender, bool CheckDefaults) {
    TJvCustomGraphicButton::ActionChange(Sender, CheckDefaults);
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (action == nullptr) return;
    if (!CheckDefaults) SetDown(action->Checked());
    FGlyph = QImage();
    GlyphModified();
    if (!(CheckDefaults && FImages->ActiveIndex() != -1)) {
        FImages->SetActiveImage(action->ActionList() ? action->ActionList()->Images() : nullptr);
        FImages->SetActiveIndex(action->ImageIndex());
    }
}

std::unique_ptr<TControlActionLink> TJvTransparentButton::CreateActionLink() {
    return std::make_unique<TJvTransparentButtonActionLink>();
}

void TJvTransparentButton::Notification(toolkit::TComponent* AComponent, toolkit::TOperation Operation) {
    TJvCustomGraphicButton::Notification(AComponent, Operation);
    if (Operation == toolkit::TOperation::opRemove && FImages) FImages->ListRemoved(AComponent);
}
