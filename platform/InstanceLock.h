#pragma once
// One running copy per user session: an exclusive flock on a lock file named after the
// program's lock name, in $XDG_RUNTIME_DIR (else the temp folder, with the user id in
// the name). The kernel releases it when the process ends, also after a crash.

#include <QString>

class InstanceLock
{
public:
    explicit InstanceLock(const QString& name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Result { Acquired, AlreadyRunning, Failed };
    // Takes the lock. Failed means the lock file could not be made: the caller goes on
    // as the first copy.
    Result acquire();
    void release();
    QString filePath() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};
