#pragma once

#include <QLockFile>
#include <QString>

namespace qm {

// One running instance per executable file (or settings folder): a lock named
// after its canonical path, so a copy in another folder is another program. The lock is
// held for the object's lifetime; a lock left by a crashed or killed instance
// (its process is gone) is taken over.
class SingleInstance {
public:
    explicit SingleInstance(const QString& path, const QString& lockFolder = defaultLockFolder());

    // False when a live instance holds the lock: this start must end. True when
    // this object now holds it, and also when no lock file can be made at all
    // (no writable folder): a second instance cannot be detected then, and
    // refusing would keep the program from ever starting.
    bool tryLock();
    QString lockFilePath() const { return m_lockFilePath; }

    // The user's runtime folder (made when missing), else the system's
    // temporary folder; the file names carry the user id.
    static QString defaultLockFolder();

private:
    QString m_lockFilePath;
    QLockFile m_lock;
};

} // namespace qm
