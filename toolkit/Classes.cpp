#include "Classes.h"

#include <algorithm>

#include "SysUtils.h"

namespace toolkit {

void TPersistent::Assign(const TPersistent* Source) {
    if (Source != nullptr) {
        Source->AssignTo(this);
        return;
    }
    throw EConvertError(FormatStrings("Cannot assign a %s to a %s", {"nil", ClassName()}));
}

void TPersistent::AssignTo(TPersistent* Dest) const {
    throw EConvertError(FormatStrings("Cannot assign a %s to a %s", {ClassName(), Dest ? Dest->ClassName() : "nil"}));
}

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
    if (FOwner) FOwner->InsertChild(this);
}

TComponent::~TComponent() {
    FDestroying = true;
    // Tell everyone who asked that we are going; they drop their references.
    auto notifies = FFreeNotifies;
    FFreeNotifies.clear();
    for (TComponent* c : notifies) {
        c->Notification(this, TOperation::opRemove);
        auto& back = c->FFreeNotifies;
        back.erase(std::remove(back.begin(), back.end(), this), back.end());
    }
    // Owned children go first, the last created first.
    while (!FChildren.empty()) {
        TComponent* child = FChildren.back();
        FChildren.pop_back();
        child->FOwner = nullptr;
        delete child;
    }
    if (FOwner) FOwner->RemoveChild(this);
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent == this) return;
    auto add = [](std::vector<TComponent*>& v, TComponent* c) {
        if (std::find(v.begin(), v.end(), c) == v.end()) v.push_back(c);
    };
    add(AComponent->FFreeNotifies, this);
    add(FFreeNotifies, AComponent);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr) return;
    auto drop = [](std::vector<TComponent*>& v, TComponent* c) { v.erase(std::remove(v.begin(), v.end(), c), v.end()); };
    drop(AComponent->FFreeNotifies, this);
    drop(FFreeNotifies, AComponent);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent != nullptr) {
        auto& v = FChildren;
        v.erase(std::remove(v.begin(), v.end(), AComponent), v.end());
    }
}

void TComponent::InsertChild(TComponent* Child) { FChildren.push_back(Child); }

void TComponent::RemoveChild(TComponent* Child) {
    FChildren.erase(std::remove(FChildren.begin(), FChildren.end(), Child), FChildren.end());
}

} // namespace toolkit
