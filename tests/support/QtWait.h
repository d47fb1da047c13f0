#pragma once
// Waiting in window tests: the condition is checked between short runs of the Qt event loop, so
// timers, deliveries handed to the main thread and repaints go on meanwhile.
#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>

#include "Wait.h"

namespace testsupport {

inline void PumpQtEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); }

// The bound only keeps a broken build from hanging: on a loaded machine (sanitizers, a parallel
// build) a unit that answers after the next tick costs the search another pass, so allow plenty.
template <class Pred>
bool WaitWithQtEvents(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(60000)) {
    return WaitUntil(pred, limit, [] { PumpQtEvents(); });
}

} // namespace testsupport
