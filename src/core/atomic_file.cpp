#include "core/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Plain POSIX calls on purpose: every short write, flush and close result must
// be checked, and a partly written temporary file must never be renamed.

namespace qm {

namespace {

QString failure(const QString& path, int errorNumber) {
    return QStringLiteral("Cannot write %1: %2")
        .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errorNumber)));
}

// Creates a new, empty file beside target; -1 (errno set) on failure.
int createTemporary(const QString& target, mode_t mode, QByteArray* tempPath) {
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = QStringLiteral(".%1.%2.tmp")
                                 .arg(info.fileName())
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
        *tempPath = QFile::encodeName(info.dir().filePath(name));
        const int fd = ::open(tempPath->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool writeAll(int fd, QByteArrayView bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    return writeFileAtomically(
        path, [&bytes](const PieceWriter& put) { return put(bytes); }, error);
}

bool writeFileAtomically(const QString& path,
                         const std::function<bool(const PieceWriter&)>& produce, QString* error) {
    // Through a symbolic link the file it points to is replaced, not the link.
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    const QByteArray targetName = QFile::encodeName(target);

    mode_t mode = 0666; // narrowed by the umask for a new file
    bool replacing = false;
    struct stat existing {};
    if (::stat(targetName.constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            if (error)
                *error = failure(target, EISDIR);
            return false;
        }
        mode = existing.st_mode & 07777;
        replacing = true;
    }

    QByteArray tempPath;
    const int fd = createTemporary(target, mode, &tempPath);
    if (fd < 0) {
        if (error)
            *error = failure(target, errno);
        return false;
    }
    errno = 0;
    bool ok = produce([fd](QByteArrayView piece) { return writeAll(fd, piece); }) &&
              (!replacing || ::fchmod(fd, mode) == 0) && ::fsync(fd) == 0;
    // A producer that gives up without a system error (its source changed) reads as an I/O error.
    int errorNumber = ok ? 0 : (errno != 0 ? errno : EIO);
    if (::close(fd) != 0 && ok) {
        ok = false;
        errorNumber = errno;
    }
    if (ok && ::rename(tempPath.constData(), targetName.constData()) != 0) {
        ok = false;
        errorNumber = errno;
    }
    if (!ok) {
        ::unlink(tempPath.constData());
        if (error)
            *error = failure(target, errorNumber);
    }
    return ok;
}

} // namespace qm
