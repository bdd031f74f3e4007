#include "core/runtime_folder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

namespace {

// The folder the packaged unit's RuntimeDirectory= gives the service; root
// reaches the service's socket there.
const QString ServiceRuntimeFolder = QStringLiteral("/run/quillet-mirror");

bool isUsableFolder(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

} // namespace

QString runtimeFolderPath() {
    const QString service = qEnvironmentVariable("RUNTIME_DIRECTORY");
    if (isUsableFolder(service))
        return QDir(service).absolutePath();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isUsableFolder(runtime))
        return QDir(runtime).filePath(QStringLiteral("quillet-mirror"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("quillet-mirror-%1").arg(getuid()));
}

QString prepareRuntimeFolder(QString* error) {
    const QString path = runtimeFolderPath();
    const QByteArray native = QFile::encodeName(path);
    // In a shared temporary folder another user may have made the name first.
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = QStringLiteral("cannot make %1: %2").arg(path, qt_error_string(errno));
        return {};
    }
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != geteuid() || ::chmod(native.constData(), 0700) != 0) {
        if (error)
            *error = QStringLiteral("%1 is not a folder of this user's").arg(path);
        return {};
    }
    return path;
}

QString pathIdentity(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    const QString identity = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    return QString::fromLatin1(
        QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
}

QString controlSocketName(const QString& settingsFolder) {
    return QStringLiteral("quillet-mirror-%1.ctl").arg(pathIdentity(settingsFolder));
}

QStringList controlSocketCandidates(const QString& settingsFolder) {
    const QString name = controlSocketName(settingsFolder);
    QStringList candidates{QDir(runtimeFolderPath()).filePath(name)};
    const QString service = QDir(ServiceRuntimeFolder).filePath(name);
    if (!candidates.contains(service))
        candidates.append(service);
    return candidates;
}

} // namespace qm
