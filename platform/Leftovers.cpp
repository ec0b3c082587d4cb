#include "platform/Leftovers.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace Leftovers {

QStringList remove(const QString& folder, const std::function<bool(const QString&)>& isOwn, const QDateTime& since)
{
    QStringList removed;
    const QDir dir(folder);
    const qint64 sinceMs = since.toMSecsSinceEpoch();
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!isOwn(name))
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        struct stat st;
        // lstat: a link with such a name is not one of ours, and whatever it points to stays.
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        const qint64 changedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        if (changedMs >= sinceMs)
            continue;
        if (::unlink(path.constData()) == 0)
            removed.append(name);
    }
    return removed;
}

} // namespace Leftovers
