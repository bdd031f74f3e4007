#include "app/single_instance.h"

#include "core/runtime_folder.h"

#include <QDir>

#include <unistd.h>

namespace qm {

namespace {

QString lockFileName(const QString& path) {
    // The user id keeps one user's lock from stopping another user's start.
    return QStringLiteral("quillet-mirror-%1-%2.lock").arg(getuid()).arg(pathIdentity(path));
}

} // namespace

SingleInstance::SingleInstance(const QString& path, const QString& lockFolder)
    : m_lockFilePath(QDir(lockFolder).filePath(lockFileName(path))), m_lock(m_lockFilePath) {
    // Only a dead owner makes the lock stale, never its age: the program runs
    // for days while holding it.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::tryLock() {
    return m_lock.tryLock(0) || m_lock.error() != QLockFile::LockFailedError;
}

QString SingleInstance::defaultLockFolder() {
    // The user's own folder, beside the control socket; a lock left by an
    // unclean end is taken over there instead of piling up in /tmp.
    const QString runtime = prepareRuntimeFolder();
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

} // namespace qm
