#pragma once
// Writing a file for a test to read back.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace testsupport {

// Writes `bytes` to `path` whole, making its folder first; false when that fails.
// Callers check it with QVERIFY, so a test stops where its set-up went wrong.
[[nodiscard]] inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace testsupport
