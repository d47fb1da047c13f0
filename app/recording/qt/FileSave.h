#pragma once
// A whole file written for the user (a table, an export): in place only once complete, and never
// into something that is not a regular file. It may wait on the disk or file system, so callers
// run it on a thread of their own.
#include <QByteArray>
#include <QString>

// Why bytes could not be saved to path, as the user reads it ("Could not save the <what> to
// ..."); empty once they were. A FIFO, device or directory at path is refused by its kind, not
// opened.
QString SaveWholeFile(const QString& path, const QByteArray& bytes, const QString& what);
