#include "core/bans/ban6_file.h"

#include "core/atomic_file.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

namespace qm {

namespace {

constexpr qint64 RecordSize = 16;

void tell(QString* problem, const QString& text) {
    if (problem)
        *problem = text;
}

} // namespace

Ban6Table loadBan6File(const QString& path, QString* problem) {
    tell(problem, QString());
    Ban6Table table;
    if (!QFileInfo::exists(path))
        return table;

    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        tell(problem, QStringLiteral("%1 cannot be read; no IPv6 bans").arg(path));
        return table;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size()) {
        tell(problem, QStringLiteral("%1 cannot be read; no IPv6 bans").arg(path));
        return table;
    }
    file.close();
    if (bytes.size() % RecordSize != 0) {
        // Kept for the operator to look at; a rename replaces an older one.
        const QString aside = path + QStringLiteral(".bad");
        const bool moved = std::rename(QFile::encodeName(path).constData(),
                                       QFile::encodeName(aside).constData()) == 0;
        tell(problem, moved ? QStringLiteral("%1 has %2 bytes, not a multiple of 16: set aside "
                                             "as %3; no IPv6 bans")
                                  .arg(path)
                                  .arg(bytes.size())
                                  .arg(aside)
                            : QStringLiteral("%1 has %2 bytes, not a multiple of 16, and cannot "
                                             "be set aside: %3; no IPv6 bans")
                                  .arg(path)
                                  .arg(bytes.size())
                                  .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return table;
    }

    std::vector<Ipv6Address> addresses(static_cast<size_t>(bytes.size() / RecordSize));
    for (size_t i = 0; i < addresses.size(); ++i)
        std::memcpy(addresses[i].data(), bytes.constData() + i * RecordSize, RecordSize);
    if (addresses.size() > size_t(Ban6Table::MaxBans))
        addresses.resize(size_t(Ban6Table::MaxBans));
    table.setAddresses(std::move(addresses));
    return table;
}

bool saveBan6Table(const Ban6Table& table, const QString& path, QString* error) {
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(table.count() * RecordSize));
    for (const Ipv6Address& address : table.addresses())
        bytes.append(reinterpret_cast<const char*>(address.data()), RecordSize);
    return writeFileAtomically(path, bytes, error);
}

} // namespace qm
