#pragma once
// Actions: named commands with a caption, checked and enabled state and a picture index, which
// controls link to so that they follow the action. An action list groups actions and gives
// them their image list.
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/Classes.h"
#include "toolkit/qt/ImageList.h"

class TBasicActionLink;
class TCustomActionList;

class TBasicAction : public toolkit::TComponent {
public:
    explicit TBasicAction(toolkit::TComponent* AOwner = nullptr) : toolkit::TComponent(AOwner) {}
    ~TBasicAction() override;
    std::string ClassName() const override { return "TBasicAction"; }

    std::function<void(toolkit::TObject* Sender)> OnExecute;
    // Runs OnExecute; false when there is none.
    virtual bool Execute();

    void RegisterChanges(TBasicActionLink* Link);
    void UnRegisterChanges(TBasicActionLink* Link);

protected:
    // Tells every linked client that the action's properties changed.
    void Change();
    std::vector<TBasicActionLink*> Clients() const { return FClients; }

private:
    std::vector<TBasicActionLink*> FClients;
};

class TContainedAction : public TBasicAction {
public:
    explicit TContainedAction(toolkit::TComponent* AOwner = nullptr) : TBasicAction(AOwner) {}
    ~TContainedAction() override;
    std::string ClassName() const override { return "TContainedAction"; }

    TCustomActionList* ActionList() const { return FActionList; }
    void SetActionList(TCustomActionList* Value);

private:
    friend class TCustomActionList;
    TCustomActionList* FActionList = nullptr;
};

// The full action class: the one whose properties controls take over.
class TCustomAction : public TContainedAction {
public:
    explicit TCustomAction(toolkit::TComponent* AOwner = nullptr) : TContainedAction(AOwner) {}
    std::string ClassName() const override { return "TCustomAction"; }

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value);
    bool Checked() const { return FChecked; }
    void SetChecked(bool Value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int Value);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int Value);
    QString Hint() const { return FHint; }
    void SetHint(const QString& Value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);

private:
    template <typename T, typename Apply>
    void Update(T& field, const T& value, Apply apply);

    QString FCaption;
    bool FChecked = false;
    bool FEnabled = true;
    int FGroupIndex = 0;
    int FImageIndex = -1;
    QString FHint;
    bool FVisible = true;
};

class TAction : public TCustomAction {
public:
    explicit TAction(toolkit::TComponent* AOwner = nullptr) : TCustomAction(AOwner) {}
    std::string ClassName() const override { return "TAction"; }
};

class TCustomActionList : public toolkit::TComponent {
public:
    explicit TCustomActionList(toolkit::TComponent* AOwner = nullptr) : toolkit::TComponent(AOwner) {}
    ~TCustomActionList() override;
    std::string ClassName() const override { return "TCustomActionList"; }

    // Not owned; dropped when the image list goes away.
    TCustomImageList* Images() const { return FImages; }
    void SetImages(TCustomImageList* Value);

    int ActionCount() const { return static_cast<int>(FActions.size()); }
    TContainedAction* Action(int Index) const { return FActions.at(static_cast<size_t>(Index)); }

protected:
    void Notification(toolkit::TComponent* AComponent, toolkit::TOperation Operation) override;

private:
    friend class TContainedAction;
    void AddAction(TContainedAction* Action);
    void RemoveAction(TContainedAction* Action);

    TCustomImageList* FImages = nullptr;
    std::vector<TContainedAction*> FActions;
};

class TActionList : public TCustomActionList {
public:
    explicit TActionList(toolkit::TComponent* AOwner = nullptr) : TCustomActionList(AOwner) {}
    std::string ClassName() const override { return "TActionList"; }
};

// A client's connection to one action.
class TBasicActionLink {
public:
    TBasicActionLink() = default;
    virtual ~TBasicActionLink();
    TBasicActionLink(const TBasicActionLink&) = delete;
    TBasicActionLink& operator=(const TBasicActionLink&) = delete;

    TBasicAction* Action() const { return FAction; }
    void SetAction(TBasicAction* Value);
    // Runs the action; false when there is none or it has no handler.
    virtual bool Execute();

    std::function<void(TBasicAction* Sender)> OnChange;

private:
    friend class TBasicAction;
    TBasicAction* FAction = nullptr;
};

// What an action sets on its clients; a client's link class overrides what applies to it.
class TActionLink : public TBasicActionLink {
public:
    virtual bool IsCaptionLinked() const;
    virtual bool IsCheckedLinked() const;
    virtual bool IsEnabledLinked() const;
    virtual bool IsGroupIndexLinked() const;
    virtual bool IsImageIndexLinked() const;

    virtual void SetCaption(const QString&) {}
    virtual void SetChecked(bool) {}
    virtual void SetEnabled(bool) {}
    virtual void SetGroupIndex(int) {}
    virtual void SetImageIndex(int) {}
    virtual void SetHint(const QString&) {}
    virtual void SetVisible(bool) {}

protected:
    TCustomAction* FullAction() const { return dynamic_cast<TCustomAction*>(Action()); }
};
