#pragma once
// A control that shows a serial component's state; the event thread asks it to refresh
// before each delivery of line events.
#include "VaClasses.h"

class TVaCustomComm;

class TVaDisplay : public TVaComponent {
public:
    using TVaComponent::TVaComponent;
    std::string ClassName() const override { return "TVaDisplay"; }
    virtual void UpdateDisplay(TVaCustomComm* Comm) = 0;
};
