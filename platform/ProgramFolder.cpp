#include "platform/ProgramFolder.h"

#include <QDir>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

namespace ProgramFolder {

QString path()
{
    QString folder = qEnvironmentVariable("PENNARO_HOME");
    if (folder.isEmpty()) {
        QString base = qEnvironmentVariable("XDG_DATA_HOME");
        if (base.isEmpty() || !QDir::isAbsolutePath(base))
            base = QDir::homePath() + QStringLiteral("/.local/share");
        folder = base + QStringLiteral("/Pennaro");
    }
    folder = QDir::cleanPath(folder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString userName()
{
    // The name is used as a folder name: keep it to one path component.
    auto usable = [](const QString& name) {
        return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
               !name.contains(QLatin1Char('/'));
    };
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) {
        const QString name = QString::fromLocal8Bit(pw->pw_name);
        if (usable(name))
            return name;
    }
    const QString env = qEnvironmentVariable("USER");
    if (usable(env))
        return env;
    return QStringLiteral("nouser");
}

} // namespace ProgramFolder
