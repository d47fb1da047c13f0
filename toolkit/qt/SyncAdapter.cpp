#include "SyncAdapter.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>

#include "toolkit/Thread.h"

namespace toolkit {

namespace {
std::atomic<bool> invocationPending{false};

void ServeFromEventLoop() {
    // Cleared first: a call queued while these run posts a fresh invocation.
    invocationPending.store(false);
    MainThreadQueue::Instance().ServeQueuedCalls();
}
} // namespace

void InstallQtSyncAdapter() {
    MainThreadQueue::Instance().SetWakeHook([] {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr || invocationPending.exchange(true)) return;
        QMetaObject::invokeMethod(app, &ServeFromEventLoop, Qt::QueuedConnection);
    });
}

} // namespace toolkit
