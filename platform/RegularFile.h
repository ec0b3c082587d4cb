#pragma once
// Opening a file for reading only when it is a regular file. Opening a FIFO waits for a
// writer for ever, and opening a device can have effects of its own, so a path that names
// either (or a folder) is refused before anything is opened.

#include <QString>

namespace RegularFile {

// A read-only descriptor (close-on-exec) of the regular file at path, symbolic links
// followed; -1 when it cannot be opened or is no regular file (errno EINVAL then).
int openForReading(const QString& path);

} // namespace RegularFile
