#include "ImageList.h"

#include "toolkit/SysUtils.h"

#include <algorithm>

TChangeLink::~TChangeLink() {
    if (FSender) FSender->UnRegisterChanges(this);
}

TCustomImageList::TCustomImageList(toolkit::TComponent* AOwner) : toolkit::TComponent(AOwner) {}

TCustomImageList::TCustomImageList(int AWidth, int AHeight, toolkit::TComponent* AOwner)
    : toolkit::TComponent(AOwner), FWidth(std::max(0, AWidth)), FHeight(std::max(0, AHeight)) {}

TCustomImageList::~TCustomImageList() {
    // Links outlive us in their owners: make sure none of them later reaches back into a dead list.
    for (TChangeLink* link : FLinks) link->FSender = nullptr;
    FLinks.clear();
}

void TCustomImageList::SetSize(int AWidth, int AHeight) {
    AWidth = std::max(0, AWidth);
    AHeight = std::max(0, AHeight);
    if (AWidth == FWidth && AHeight == FHeight) return;
    FWidth = AWidth;
    FHeight = AHeight;
    FImages.clear();
    Change();
}

void TCustomImageList::SetMasked(bool Value) {
    if (toolkit::StoreIfChanged(FMasked, Value)) Change();
}

void TCustomImageList::SetImageType(TImageType Value) {
    if (toolkit::StoreIfChanged(FImageType, Value)) Change();
}

void TCustomImageList::SetDrawingStyle(TDrawingStyle Value) {
    if (toolkit::StoreIfChanged(FDrawingStyle, Value)) Change();
}

void TCustomImageList::SetBlendColor(const QColor& Value) {
    if (toolkit::StoreIfChanged(FBlendColor, Value)) Change();
}

void TCustomImageList::SetBkColor(const QColor& Value) {
    if (toolkit::StoreIfChanged(FBkColor, Value)) Change();
}

QImage TCustomImageList::FitToCell(const QImage& Image) const {
    QImage source = Image.convertToFormat(QImage::Format_ARGB32);
    if (source.size() == QSize(FWidth, FHeight)) return source;
    QImage cell(FWidth, FHeight, QImage::Format_ARGB32);
    cell.fill(Qt::transparent);
    QPainter p(&cell);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, source);
    return cell;
}

int TCustomImageList::Append(QImage Cell) {
    if (FWidth <= 0 || FHeight <= 0) return -1;
    FImages.push_back(std::move(Cell));
    Change();
    return Count() - 1;
}

int TCustomImageList::AddMasked(const QImage& Image, const QColor& TransparentColor) {
    if (Image.isNull()) return -1;
    QImage cell = Image.convertToFormat(QImage::Format_ARGB32);
    if (FMasked && TransparentColor.isValid()) {
        const QRgb key = TransparentColor.rgb() & 0x00FFFFFFu;
        for (int y = 0; y < cell.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(cell.scanLine(y));
            for (int x = 0; x < cell.width(); ++x) {
                if ((line[x] & 0x00FFFFFFu) == key) line[x] = qRgba(0, 0, 0, 0);
            }
        }
    }
    return Append(FitToCell(cell));
}

int TCustomImageList::AddIcon(const QImage& Icon) {
    if (Icon.isNull()) return -1;
    return Append(FitToCell(Icon));
}

void TCustomImageList::Clear() {
    if (FImages.empty()) return;
    FImages.clear();
    Change();
}

QImage TCustomImageList::GetIcon(int Index) const {
    if (Index < 0 || Index >= Count()) return QImage();
    return FImages[static_cast<size_t>(Index)];
}

bool TCustomImageList::GetBitmap(int Index, QImage& Bitmap) const {
    if (Index < 0 || Index >= Count()) return false;
    Bitmap = QImage(FWidth, FHeight, QImage::Format_RGB32);
    Bitmap.fill(Qt::white);
    QPainter p(&Bitmap);
    p.drawImage(0, 0, FImages[static_cast<size_t>(Index)]);
    return true;
}

void TCustomImageList::Draw(QPainter& Canvas, int X, int Y, int Index) const {
    if (Index < 0 || Index >= Count()) return;
    Canvas.drawImage(X, Y, FImages[static_cast<size_t>(Index)]);
}

void TCustomImageList::RegisterChanges(TChangeLink* Link) {
    if (Link == nullptr) return;
    if (Link->FSender && Link->FSender != this) Link->FSender->UnRegisterChanges(Link);
    Link->FSender = this;
    if (std::find(FLinks.begin(), FLinks.end(), Link) == FLinks.end()) FLinks.push_back(Link);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* Link) {
    if (Link == nullptr) return;
    FLinks.erase(std::remove(FLinks.begin(), FLinks.end(), Link), FLinks.end());
    if (Link->FSender == this) Link->FSender = nullptr;
}

void TCustomImageList::Change() {
    // A handler may unregister links; walk a copy and skip the ones that left meanwhile.
    const std::vector<TChangeLink*> links = FLinks;
    for (TChangeLink* link : links) {
        if (std::find(FLinks.begin(), FLinks.end(), link) == FLinks.end()) continue;
        if (link->OnChange) link->OnChange(this);
    }
}
