// Any file content, section, key and value: writing the value and reading it
// back gives the value, within what the key file can hold (names it accepts,
// single-byte text, no line breaks, blanks around the value dropped, 254
// characters); a refused write leaves the file as it was.
#include "core/settings/ini_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

// Splits the input at the first three 0xFF bytes: file, section, key, value.
QList<QByteArray> partsOf(const uint8_t* data, size_t size) {
    const QByteArray all(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QList<QByteArray> parts;
    qsizetype start = 0;
    for (int i = 0; i < 3; ++i) {
        const qsizetype cut = all.indexOf('\xFF', start);
        if (cut < 0)
            break;
        parts.append(all.sliced(start, cut - start));
        start = cut + 1;
    }
    parts.append(all.sliced(start));
    return parts;
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString expectedRead(const QString& value) {
    QString expected = value;
    while (!expected.isEmpty() && (expected.front() == u' ' || expected.front() == u'\t'))
        expected.remove(0, 1);
    while (!expected.isEmpty() && (expected.back() == u' ' || expected.back() == u'\t'))
        expected.chop(1);
    return expected.left(254);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Memory-backed when possible: every write is flushed to disk.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/qm-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/qm-fuzz-XXXXXX"));
    const QList<QByteArray> parts = partsOf(data, size);
    if (parts.size() != 4)
        return 0;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(parts[0]) != parts[0].size())
            std::abort();
    }
    const QString section = QString::fromLatin1(parts[1]);
    const QString key = QString::fromLatin1(parts[2]);
    const QString value = QString::fromLatin1(parts[3]);

    (void)qm::readIniValue(section, key, path);
    if (!qm::writeIniValue(section, key, value, path)) {
        if (contentOf(path) != parts[0])
            std::abort();
        return 0;
    }
    if (qm::readIniValue(section, key, path) != expectedRead(value))
        std::abort();
    // The file itself is only ever extended or changed in place, never emptied.
    if (contentOf(path).isEmpty())
        std::abort();
    return 0;
}
