#include "service/ban_list.h"

#include "core/bans/ban6_file.h"
#include "core/bans/ban_file.h"
#include "core/program_folder.h"

#include <QFileInfo>

#include <utility>

namespace qm {

BanList::BanList(QString filePath)
    : m_filePath(std::move(filePath)),
      m_file6Path(ban6FilePath(QFileInfo(m_filePath).absolutePath())) {
    reload();
}

void BanList::reload() {
    m_table = loadBanFile(m_filePath);
    m_table6 = loadBan6File(m_file6Path, &m_ban6Problem);
}

bool BanList::isBanned(const IpAddress& address) const {
    return address.isIpv6 ? m_table6.contains(address.ipv6) : m_table.contains(address.ipv4);
}

IpAddress BanList::rowAddress(int row) const {
    IpAddress address;
    if (row < m_table.count()) {
        address.ipv4 = m_table.at(row);
    } else {
        address.isIpv6 = true;
        address.ipv6 = m_table6.at(row - m_table.count());
    }
    return address;
}

BanList::Outcome BanList::addAddress(const IpAddress& address) {
    if (!address.isIpv6)
        return add(address.ipv4);
    if (m_table6.contains(address.ipv6))
        return Outcome::AlreadyBanned;
    std::vector<Ipv6Address> before = m_table6.addresses();
    if (!m_table6.append(address.ipv6))
        return Outcome::TableFull;
    return save6(std::move(before));
}

BanList::Outcome BanList::changeRow(int row, const IpAddress& address) {
    if (row < 0 || row >= rowCount())
        return Outcome::NotBanned;
    if (isBanned(address))
        return Outcome::AlreadyBanned;
    const bool rowIsIpv6 = row >= m_table.count();
    if (rowIsIpv6 != address.isIpv6) {
        const IpAddress old = rowAddress(row);
        const Outcome added = addAddress(address);
        return added == Outcome::Saved ? removeAddress(old) : added;
    }
    if (!rowIsIpv6)
        return change(row, address.ipv4);
    std::vector<Ipv6Address> before = m_table6.addresses();
    m_table6.replace(row - m_table.count(), address.ipv6);
    return save6(std::move(before));
}

BanList::Outcome BanList::removeRow(int row) {
    if (row < 0 || row >= rowCount())
        return Outcome::NotBanned;
    if (row < m_table.count())
        return remove(row);
    std::vector<Ipv6Address> before = m_table6.addresses();
    m_table6.remove(row - m_table.count());
    return save6(std::move(before));
}

BanList::Outcome BanList::removeAddress(const IpAddress& address) {
    if (!address.isIpv6)
        return removeNumber(address.ipv4);
    const int k = m_table6.indexOf(address.ipv6);
    return k < 0 ? Outcome::NotBanned : removeRow(m_table.count() + k);
}

BanList::Outcome BanList::save6(std::vector<Ipv6Address> before) {
    m_saveError.clear();
    if (saveBan6Table(m_table6, m_file6Path, &m_saveError))
        return Outcome::Saved;
    m_table6.setAddresses(std::move(before));
    return Outcome::SaveFailed;
}

BanList::Outcome BanList::add(qint32 number) {
    if (m_table.contains(number))
        return Outcome::AlreadyBanned;
    std::vector<qint32> before = m_table.elements();
    if (!m_table.append(number))
        return Outcome::TableFull;
    return save(std::move(before));
}

BanList::Outcome BanList::change(int k, qint32 number) {
    if (m_table.contains(number))
        return Outcome::AlreadyBanned;
    std::vector<qint32> before = m_table.elements();
    m_table.replace(k, number);
    return save(std::move(before));
}

BanList::Outcome BanList::remove(int k) {
    std::vector<qint32> before = m_table.elements();
    m_table.remove(k);
    return save(std::move(before));
}

BanList::Outcome BanList::removeNumber(qint32 number) {
    const int k = m_table.indexOf(number);
    return k < 0 ? Outcome::NotBanned : remove(k);
}

BanList::Outcome BanList::save(std::vector<qint32> before) {
    m_saveError.clear();
    if (saveBanTable(m_table, m_filePath, &m_saveError))
        return Outcome::Saved;
    m_table.setElements(std::move(before));
    return Outcome::SaveFailed;
}

UserMessage BanList::messageFor(Outcome outcome) const {
    switch (outcome) {
    case Outcome::AlreadyBanned:
        return {QStringLiteral("Ты уже забанил этот IP Адрес теперь тебе нужно отключить его от "
                               "сервера"),
                MessageIcon::Information, true, QStringLiteral("address already banned")};
    case Outcome::TableFull:
        return {QStringLiteral("Бан лист заполнен: в нём уже %1 адресов.").arg(BanTable::MaxBans),
                MessageIcon::Information, true, QStringLiteral("ban list full")};
    case Outcome::SaveFailed:
        return {QStringLiteral("Не удалось сохранить бан лист, изменение отменено.\n%1")
                    .arg(m_saveError.isEmpty() ? m_filePath : m_saveError),
                MessageIcon::Critical, true, QStringLiteral("ban list not saved")};
    case Outcome::Saved:
    case Outcome::NotBanned: // only the control commands remove by address, and say it themselves
        break;
    }
    return {};
}

} // namespace qm
