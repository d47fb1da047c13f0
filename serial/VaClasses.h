#pragma once
// Bases of the serial component's classes: settings sub-objects that tell their owner about
// changes, and components.
#include <cstdint>
#include <functional>
#include <string>

#include "toolkit/Classes.h"

class TVaPersistent;
using TVaChangeEvent = std::function<void(TVaPersistent* Sender)>;

class TVaPersistent : public toolkit::TPersistent {
public:
    std::string ClassName() const override { return "TVaPersistent"; }

    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    // Tells OnChange, unless an update is in progress.
    void Changed();
    // Copies every member of Source, notifying once at the end; any other class is refused
    // with the toolkit's conversion error.
    void CopyFrom(const toolkit::TPersistent* Source) { Assign(Source); }

    int32_t UpdateCount() const { return FUpdateCount; }
    TVaChangeEvent OnChange;

protected:
    // Runs copy between BeginUpdate and EndUpdate (EndUpdate also when copy throws).
    void CopyNotifyingOnce(const std::function<void()>& copy);

private:
    int32_t FUpdateCount = 0;
};

class TVaComponent : public toolkit::TComponent {
public:
    using TComponent::TComponent;
    std::string ClassName() const override { return "TVaComponent"; }
};
