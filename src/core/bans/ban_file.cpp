#include "core/bans/ban_file.h"

#include "core/atomic_file.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace qm {

namespace {

constexpr qint64 RecordSize = 4;

} // namespace

BanTable loadBanFile(const QString& path) {
    BanTable table;
    if (!QFileInfo::exists(path))
        return table; // stays missing until the first save

    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return table; // unreadable: keep it, start empty

    const qint64 length = file.size();
    if (length == 0 || length % RecordSize != 0) {
        file.close();
        QFile::remove(path);
        return table;
    }

    const QByteArray bytes = file.readAll();
    if (bytes.size() != length)
        return table; // read error: the file is kept as it is

    std::vector<qint32> elements(static_cast<size_t>(length / RecordSize));
    for (size_t i = 0; i < elements.size(); ++i)
        elements[i] = qFromLittleEndian<qint32>(bytes.constData() + i * RecordSize);
    table.setElements(std::move(elements));
    return table;
}

bool saveBanTable(const BanTable& table, const QString& path, QString* error) {
    const std::vector<qint32>& elements = table.elements();
    QByteArray bytes(static_cast<qsizetype>(elements.size() * RecordSize), Qt::Uninitialized);
    for (size_t i = 0; i < elements.size(); ++i)
        qToLittleEndian<qint32>(elements[i], bytes.data() + i * RecordSize);

    // Replaced by rename, so a failed or interrupted save never loses the old list.
    return writeFileAtomically(path, bytes, error);
}

} // namespace qm
