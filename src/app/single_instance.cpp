#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace qm {

namespace {

QString lockFileName(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    const QString identity = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    const QByteArray hash =
        QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    // The user id keeps one user's lock from stopping another user's start.
    return QStringLiteral("quillet-mirror-%1-%2.lock").arg(getuid()).arg(QLatin1String(hash));
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
    // The runtime folder is the user's own and emptied at logout, so locks
    // left by unclean ends do not pile up.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    return QDir::tempPath();
}

} // namespace qm
