#pragma once
// Serves the main thread's queue of synchronised calls from the Qt event loop.

namespace toolkit {

// Call once on the main thread after the QCoreApplication exists. A worker's synchronised call
// then posts one queued invocation to the application (never more than one pending at a time),
// which runs the queued calls from the event loop.
void InstallQtSyncAdapter();

} // namespace toolkit
