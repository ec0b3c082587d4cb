#pragma once
// Removal of the temporary files that a run killed in the middle of a save or of a table's
// creation leaves behind. Each owner of such files says which names are its own.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace Leftovers {

// Removes the regular files directly inside `folder` (not in its subfolders) whose name
// `isOwn` accepts, that belong to this user and were last changed before `since`, so that
// nothing a running save is writing is touched. Links, folders, FIFOs and devices are
// left alone. Returns the names removed; a file that cannot be removed is skipped.
QStringList remove(const QString& folder, const std::function<bool(const QString&)>& isOwn, const QDateTime& since);

} // namespace Leftovers
