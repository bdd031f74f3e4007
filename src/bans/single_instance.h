#pragma once

#include <QLockFile>
#include <QString>

namespace qm {

// One running instance per executable file: a lock named after the file's
// canonical path, so a copy in another folder is another program. The lock is
// held for the object's lifetime; a lock left by a crashed or killed instance
// (its process is gone) is taken over.
class SingleInstance {
public:
    explicit SingleInstance(const QString& executablePath,
                            const QString& lockFolder = defaultLockFolder());

    // True when this object now holds the lock; false when a live instance does
    // or the lock file cannot be created.
    bool tryLock();
    QString lockFilePath() const { return m_lockFilePath; }

    // Per user, in the system's temporary folder.
    static QString defaultLockFolder();

private:
    QString m_lockFilePath;
    QLockFile m_lock;
};

} // namespace qm
