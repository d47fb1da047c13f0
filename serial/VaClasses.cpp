#include "VaClasses.h"

void TVaPersistent::EndUpdate() {
    if (FUpdateCount > 0) --FUpdateCount;
    Changed();
}

void TVaPersistent::Changed() {
    if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TVaPersistent::CopyNotifyingOnce(const std::function<void()>& copy) {
    BeginUpdate();
    try {
        copy();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}
