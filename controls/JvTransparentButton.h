#pragma once
// The flat push button: paints on its parent's surface a background (none when transparent), a
// frame in one of seven styles that follows the mouse state, an optional picture and the
// caption in one of nine places.
#include <QImage>

#include <memory>

#include "controls/JvButton.h"
#include "toolkit/qt/Actions.h"
#include "toolkit/qt/ImageList.h"

enum class TJvFrameStyle : uint8_t { fsRegular, fsIndent, fsExplorer, fsNone, fsLight, fsDark, fsMono };
enum class TJvTextAlign : uint8_t {
    ttaTopLeft,
    ttaTop,
    ttaTopRight,
    ttaRight,
    ttaBottomRight,
    ttaBottom,
    ttaBottomLeft,
    ttaLeft,
    ttaCenter
};
using TNumGlyphs = int;  // 1 to 4
using TImageIndex = int;

class TJvTransparentButton;

// The image lists (not owned) and indexes a button takes its pictures from when it has no glyph.
class TJvTransparentButtonImages : public toolkit::TPersistent {
public:
    explicit TJvTransparentButtonImages(TJvTransparentButton* AOwner);
    TJvTransparentButtonImages(const TJvTransparentButtonImages&) = delete;
    TJvTransparentButtonImages& operator=(const TJvTransparentButtonImages&) = delete;

    std::string ClassName() const override { return "TJvTransparentButtonImages"; }
    void Assign(const toolkit::TPersistent* Source) override;

    TCustomImageList* ActiveImage() const { return FActive.List; }
    void SetActiveImage(TCustomImageList* Value) { SetList(FActive, Value); }
    TImageIndex ActiveIndex() const { return FActive.Index; }
    void SetActiveIndex(TImageIndex Value) { SetIndex(FActive, Value); }
    TCustomImageList* GrayImage() const { return FGray.List; }
    void SetGrayImage(TCustomImageList* Value) { SetList(FGray, Value); }
    TImageIndex GrayIndex() const { return FGray.Index; }
    void SetGrayIndex(TImageIndex Value) { SetIndex(FGray, Value); }
    TCustomImageList* DisabledImage() const { return FDisabled.List; }
    void SetDisabledImage(TCustomImageList* Value) { SetList(FDisabled, Value); }
    TImageIndex DisabledIndex() const { return FDisabled.Index; }
    void SetDisabledIndex(TImageIndex Value) { SetIndex(FDisabled, Value); }
    TCustomImageList* DownImage() const { return FDown.List; }
    void SetDownImage(TCustomImageList* Value) { SetList(FDown, Value); }
    TImageIndex DownIndex() const { return FDown.Index; }
    void SetDownIndex(TImageIndex Value) { SetIndex(FDown, Value); }
    TCustomImageList* HotImage() const { return FHot.List; }
    void SetHotImage(TCustomImageList* Value) { SetList(FHot, Value); }
    TImageIndex HotIndex() const { return FHot.Index; }
    void SetHotIndex(TImageIndex Value) { SetIndex(FHot, Value); }

    // Clears every reference to a list that is going away.
    void ListRemoved(const toolkit::TComponent* List);

private:
    struct Source {
        TCustomImageList* List = nullptr;
        TChangeLink Link;
        TImageIndex Index = -1;
    };
    void SetList(Source& Entry, TCustomImageList* Value);
    void SetIndex(Source& Entry, TImageIndex Value);

    TJvTransparentButton* FButton;
    Source FActive;
    Source FGray;
    Source FDisabled;
    Source FDown;
    Source FHot;
};

// The button's action link: the checked state drives Down, the image index every Images index;
// the group index is the button's own.
class TJvTransparentButtonActionLink : public TControlActionLink {
public:
    void AssignClient(TJvExGraphicControl* AClient) override;
    bool IsCheckedLinked() const override;
    bool IsGroupIndexLinked() const override { return false; }
    void SetGroupIndex(int) override {}
    void SetChecked(bool Value) override;
    void SetImageIndex(int Value) override;

private:
    TJvCustomGraphicButton* FButtonClient = nullptr;
};

// The shared frame primitive: Width nested one-pixel frames inside R (top/left in TopColor,
// bottom/right in BottomColor); R becomes the inner rectangle. Nothing for a width of 0 or less.
void Draw3DFrame(QPainter& Canvas, TPaintRect& R, const QColor& TopColor, const QColor& BottomColor, int64_t Width);

// (11 * red + 59 * green + 30 * blue) div 100 in all three channels.
void MakeGrayscale(QImage& Bitmap);
// Exactly black pixels become the button shadow with a highlight edge one pixel right and
// down; everything else the button face.
void MakeEmbossed(QImage& Bitmap, const QWidget* Palette = nullptr);
// White and the top-left colour are background, everything else black; then embossed.
void MakeDisabledGlyph(QImage& Bitmap, const QWidget* Palette = nullptr);
// The colour a bitmap is transparent in when added to an image list: its bottom-left pixel.
QColor TransparentColorOf(const QImage& Bitmap);

class TJvTransparentButton : public TJvCustomGraphicButton {
public:
    explicit TJvTransparentButton(QWidget* parent = nullptr);
    ~TJvTransparentButton() override;

    std::string ClassName() const override { return "TJvTransparentButton"; }

    bool AutoGray() const { return FAutoGray; }
    void SetAutoGray(bool Value);
    uint32_t BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(uint32_t Value);
    TJvFrameStyle FrameStyle() const { return FFrameStyle; }
    void SetFrameStyle(TJvFrameStyle Value);
    bool ShowPressed() const { return FShowPressed; }
    void SetShowPressed(bool Value) { FShowPressed = Value; }
    int PressOffset() const { return FPressOffset; }
    void SetPressOffset(int Value) { FPressOffset = Value; }
    int Spacing() const { return FSpacing; }
    void SetSpacing(int Value);
    TJvTextAlign TextAlign() const { return FTextAlign; }
    void SetTextAlign(TJvTextAlign Value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool Value);
    bool KeepMouseLeavePressed() const { return FKeepMouseLeavePressed; }
    void SetKeepMouseLeavePressed(bool Value) { FKeepMouseLeavePressed = Value; }

    // Pictures.
    const QImage& Glyph() const { return FGlyph; }
    void SetGlyph(const QImage& Value);
    const QImage& GrayGlyph() const { return FGrayGlyph; }
    const QImage& DisabledGlyph() const { return FDisabledGlyph; }
    TNumGlyphs NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(TNumGlyphs Value);
    TJvTransparentButtonImages* Images() const { return FImages.get(); }
    // Copies the other object's lists and indexes; EConvertError for null.
    void SetImages(const TJvTransparentButtonImages* Value);
    const TCustomImageList& GlyphList() const { return *FGlyphList; }

    bool GlyphIsEmpty() const { return FGlyph.isNull() || FGlyph.width() == 0 || FGlyph.height() == 0; }
    void GlyphModified();
    void CheckGlyphCount();
    void RebuildFromGlyph();
    void RebuildFromImages();
    // The entry of GlyphList that PaintGlyph draws in the present state.
    int GlyphIndexForState() const;

    void PaintBackdrop(QPainter& Canvas) override;
    void PaintFace(QPainter& Canvas) override;
    virtual void PaintCaption(const TPaintRect& Ref, QPainter& Canvas);
    virtual void PaintGlyph(const TPaintRect& GlyphRect, QPainter& Canvas);

    // The rectangle the caption is drawn in for a given reference rectangle (after the press offset).
    TPaintRect CaptionRect(const TPaintRect& Ref) const;
    // The glyph rectangle PaintFace lays out.
    TPaintRect GlyphRect() const;

protected:
    void ActionChange(toolkit::TObject* Sender, bool CheckDefaults) override;
    std::unique_ptr<TControlActionLink> CreateActionLink() override;
    void Notification(toolkit::TComponent* AComponent, toolkit::TOperation Operation) override;

private:
    bool LooksPressed() const { return ButtonState().testFlag(Pressed) || Down(); }
    bool AppendImage(TCustomImageList* List, TImageIndex Index);
    void FillFace(QPainter& Canvas) const;
    void PaintFrameAtRest(QPainter& Canvas, TPaintRect& R, bool Show);
    void PaintFramePressed(QPainter& Canvas, TPaintRect& R);
    int TextFlags() const;
    void DrawCaptionText(QPainter& Canvas, const TPaintRect& R, const QColor& Color);

    TJvTextAlign FTextAlign = TJvTextAlign::ttaCenter;
    bool FAutoGray = true;
    bool FTransparent = true;
    bool FShowPressed = true;
    int FPressOffset = 1;
    int FSpacing = 2;
    uint32_t FBorderWidth = 1;
    std::unique_ptr<TImageList> FGlyphList;
    TJvFrameStyle FFrameStyle = TJvFrameStyle::fsExplorer;
    bool FWordWrap = false;
    QImage FGlyph;
    QImage FGrayGlyph;
    QImage FDisabledGlyph;
    TNumGlyphs FNumGlyphs = 1;
    bool FKeepMouseLeavePressed = false;
    std::unique_ptr<TJvTransparentButtonImages> FImages;
};
