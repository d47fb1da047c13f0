#pragma once
// The object model shared by the serial component and the controls: objects with a class name,
// persistent objects that copy from one another, and components that own children and tell
// each other when one goes away.
#include <string>
#include <vector>

namespace toolkit {

class TObject {
public:
    virtual ~TObject() = default;
    virtual std::string ClassName() const { return "TObject"; }
};

class TPersistent : public TObject {
public:
    std::string ClassName() const override { return "TPersistent"; }
    // Copies the values of Source into this object. The default asks Source to do it and
    // otherwise raises EConvertError("Cannot assign a <source class> to a <this class>").
    virtual void Assign(const TPersistent* Source);

protected:
    virtual void AssignTo(TPersistent* Dest) const;
};

enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* AOwner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    std::string ClassName() const override { return "TComponent"; }

    TComponent* Owner() const { return FOwner; }
    const std::string& Name() const { return FName; }
    void SetName(const std::string& Value) { FName = Value; }
    long Tag() const { return FTag; }
    void SetTag(long Value) { FTag = Value; }
    bool Destroying() const { return FDestroying; }

    // Asks to be told (through Notification with opRemove) when AComponent is destroyed.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    // Runs once the component's stored design values have all been set.
    virtual void Loaded() {}

protected:
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    // Marks the component as going away; derived destructors call it before their own clean-up
    // so that handlers they would otherwise fire can tell.
    void BeginDestroy() { FDestroying = true; }

private:
    void InsertChild(TComponent* Child);
    void RemoveChild(TComponent* Child);

    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FChildren;
    std::vector<TComponent*> FFreeNotifies;
    std::string FName;
    long FTag = 0;
    bool FDestroying = false;
};

} // namespace toolkit
