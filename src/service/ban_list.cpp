#include "service/ban_list.h"

#include "core/bans/ban_file.h"

#include <utility>

namespace qm {

BanList::BanList(QString filePath)
    : m_table(loadBanFile(filePath)), m_filePath(std::move(filePath)) {}

void BanList::reload() {
    m_table = loadBanFile(m_filePath);
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
