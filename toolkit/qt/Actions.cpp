#include "Actions.h"

#include <algorithm>

namespace {
template <typename T>
bool Contains(const std::vector<T*>& v, T* item) {
    return std::find(v.begin(), v.end(), item) != v.end();
}
template <typename T>
void Erase(std::vector<T*>& v, T* item) {
    v.erase(std::remove(v.begin(), v.end(), item), v.end());
}
} // namespace

TBasicAction::~TBasicAction() {
    BeginDestroy();
    for (TBasicActionLink* link : FClients) link->FAction = nullptr;
    FClients.clear();
}

bool TBasicAction::Execute() {
    if (!OnExecute) return false;
    OnExecute(this);
    return true;
}

void TBasicAction::RegisterChanges(TBasicActionLink* Link) {
    if (Link && !Contains(FClients, Link)) FClients.push_back(Link);
}

void TBasicAction::UnRegisterChanges(TBasicActionLink* Link) { Erase(FClients, Link); }

void TBasicAction::Change() {
    for (TBasicActionLink* link : Clients()) {
        if (Contains(FClients, link) && link->OnChange) link->OnChange(this);
    }
}

TContainedAction::~TContainedAction() { SetActionList(nullptr); }

void TContainedAction::SetActionList(TCustomActionList* Value) {
    if (Value == FActionList) return;
    if (FActionList) FActionList->RemoveAction(this);
    if (Value) Value->AddAction(this);
}

template <typename T, typename Apply>
void TCustomAction::Update(T& field, const T& value, Apply apply) {
    if (field == value) return;
    // Clients first, while the action still holds the old value: a link tells whether a client
    // follows the action by comparing the client's value with the action's current one.
    for (TBasicActionLink* client : Clients()) {
        if (auto* link = dynamic_cast<TActionLink*>(client)) apply(*link);
    }
    field = value;
    Change();
}

void TCustomAction::SetCaption(const QString& Value) {
    Update(FCaption, Value, [&](TActionLink& l) { l.SetCaption(Value); });
}
void TCustomAction::SetChecked(bool Value) {
    Update(FChecked, Value, [&](TActionLink& l) { l.SetChecked(Value); });
}
void TCustomAction::SetEnabled(bool Value) {
    Update(FEnabled, Value, [&](TActionLink& l) { l.SetEnabled(Value); });
}
void TCustomAction::SetGroupIndex(int Value) {
    Update(FGroupIndex, Value, [&](TActionLink& l) { l.SetGroupIndex(Value); });
}
void TCustomAction::SetImageIndex(int Value) {
    Update(FImageIndex, Value, [&](TActionLink& l) { l.SetImageIndex(Value); });
}
void TCustomAction::SetHint(const QString& Value) {
    Update(FHint, Value, [&](TActionLink& l) { l.SetHint(Value); });
}
void TCustomAction::SetVisible(bool Value) {
    Update(FVisible, Value, [&](TActionLink& l) { l.SetVisible(Value); });
}

TCustomActionList::~TCustomActionList() {
    BeginDestroy();
    for (TContainedAction* action : FActions) action->FActionList = nullptr;
    FActions.clear();
}

void TCustomActionList::SetImages(TCustomImageList* Value) {
    if (Value == FImages) return;
    if (FImages) RemoveFreeNotification(FImages);
    FImages = Value;
    if (FImages) FreeNotification(FImages);
}

void TCustomActionList::Notification(toolkit::TComponent* AComponent, toolkit::TOperation Operation) {
    toolkit::TComponent::Notification(AComponent, Operation);
    if (Operation == toolkit::TOperation::opRemove && AComponent == FImages) FImages = nullptr;
}

void TCustomActionList::AddAction(TContainedAction* Action) {
    if (!Contains(FActions, Action)) FActions.push_back(Action);
    Action->FActionList = this;
}

void TCustomActionList::RemoveAction(TContainedAction* Action) {
    Erase(FActions, Action);
    if (Action->FActionList == this) Action->FActionList = nullptr;
}

TBasicActionLink::~TBasicActionLink() { SetAction(nullptr); }

void TBasicActionLink::SetAction(TBasicAction* Value) {
    if (Value == FAction) return;
    if (FAction) FAction->UnRegisterChanges(this);
    FAction = Value;
    if (FAction) FAction->RegisterChanges(this);
}

bool TBasicActionLink::Execute() { return FAction != nullptr && FAction->Execute(); }

bool TActionLink::IsCaptionLinked() const { return FullAction() != nullptr; }
bool TActionLink::IsCheckedLinked() const { return FullAction() != nullptr; }
bool TActionLink::IsEnabledLinked() const { return FullAction() != nullptr; }
bool TActionLink::IsGroupIndexLinked() const { return FullAction() != nullptr; }
bool TActionLink::IsImageIndexLinked() const { return FullAction() != nullptr; }
