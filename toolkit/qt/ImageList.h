#pragma once
// A list of equally sized pictures, each carrying its own transparency, and the change links
// through which other objects hear of every change to a list they use but do not own.
#include <QColor>
#include <QImage>
#include <QPainter>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/Classes.h"

class TCustomImageList;

// Registered with a list; the list calls OnChange after each change and forgets the link when
// either side goes away.
class TChangeLink {
public:
    TChangeLink() = default;
    ~TChangeLink();
    TChangeLink(const TChangeLink&) = delete;
    TChangeLink& operator=(const TChangeLink&) = delete;

    TCustomImageList* Sender() const { return FSender; }
    std::function<void(TCustomImageList* Sender)> OnChange;

private:
    friend class TCustomImageList;
    TCustomImageList* FSender = nullptr;
};

enum class TImageType { itImage, itMask };
enum class TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };

class TCustomImageList : public toolkit::TComponent {
public:
    explicit TCustomImageList(toolkit::TComponent* AOwner = nullptr);
    TCustomImageList(int AWidth, int AHeight, toolkit::TComponent* AOwner = nullptr);
    ~TCustomImageList() override;

    std::string ClassName() const override { return "TCustomImageList"; }

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetWidth(int Value) { SetSize(Value, FHeight); }
    void SetHeight(int Value) { SetSize(FWidth, Value); }
    // A new size empties the list: its pictures were made for the old one.
    void SetSize(int AWidth, int AHeight);
    int Count() const { return static_cast<int>(FImages.size()); }

    bool Masked() const { return FMasked; }
    void SetMasked(bool Value);
    TImageType ImageType() const { return FImageType; }
    void SetImageType(TImageType Value);
    TDrawingStyle DrawingStyle() const { return FDrawingStyle; }
    void SetDrawingStyle(TDrawingStyle Value);
    // An invalid colour means "none".
    QColor BlendColor() const { return FBlendColor; }
    void SetBlendColor(const QColor& Value);
    QColor BkColor() const { return FBkColor; }
    void SetBkColor(const QColor& Value);

    // Appends a picture; pixels of exactly TransparentColor become transparent. A picture of
    // another size is placed at the top left of a transparent cell. Returns the new index.
    int AddMasked(const QImage& Image, const QColor& TransparentColor);
    // Appends a picture that already carries its transparency in its alpha channel.
    int AddIcon(const QImage& Icon);
    void Clear();

    // The picture with its transparency; a null image when Index is out of range.
    QImage GetIcon(int Index) const;
    // The picture drawn on white, without transparency; false when Index is out of range.
    bool GetBitmap(int Index, QImage& Bitmap) const;
    void Draw(QPainter& Canvas, int X, int Y, int Index) const;

    void RegisterChanges(TChangeLink* Link);
    void UnRegisterChanges(TChangeLink* Link);

protected:
    void Change();

private:
    QImage FitToCell(const QImage& Image) const;
    int Append(QImage Cell);

    int FWidth = 16;
    int FHeight = 16;
    bool FMasked = true;
    TImageType FImageType = TImageType::itImage;
    TDrawingStyle FDrawingStyle = TDrawingStyle::dsNormal;
    QColor FBlendColor;
    QColor FBkColor;
    std::vector<QImage> FImages;
    std::vector<TChangeLink*> FLinks;
};

class TImageList : public TCustomImageList {
public:
    using TCustomImageList::TCustomImageList;
    std::string ClassName() const override { return "TImageList"; }
};
