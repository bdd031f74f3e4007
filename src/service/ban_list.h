#pragma once

#include "core/bans/ban6_table.h"
#include "core/bans/ban_table.h"
#include "core/user_message.h"

#include <QString>

namespace qm {

// The one owner of the ban tables and their files (ban.dat for IPv4 and
// ban6.dat beside it for IPv6): the windows and the control commands change
// bans only here, each change saved to its file at once.
// When the save fails the table is put back as it was, which is what the file
// still holds, so table and file never part.
class BanList {
public:
    enum class Outcome { Saved, AlreadyBanned, NotBanned, TableFull, SaveFailed };

    // Loads both files at once; filePath is ban.dat's.
    explicit BanList(QString filePath);

    const BanTable& table() const { return m_table; }
    const Ban6Table& table6() const { return m_table6; }
    const QString& filePath() const { return m_filePath; }
    // What was wrong with ban6.dat at the last load, empty when nothing was.
    const QString& ban6Problem() const { return m_ban6Problem; }

    // Reads the files again, as at start.
    void reload();

    // Both tables as one list, as the windows show it: the IPv4 bans in table
    // order, then the IPv6 ones.
    int rowCount() const { return m_table.count() + m_table6.count(); }
    IpAddress rowAddress(int row) const;
    Outcome addAddress(const IpAddress& address);
    // 0 <= row < rowCount(). An address of the other family is added and the
    // old one removed after it, so a failure never leaves fewer bans.
    Outcome changeRow(int row, const IpAddress& address);
    // 0 <= row < rowCount(): the last ban of the row's table moves into place.
    Outcome removeRow(int row);
    Outcome removeAddress(const IpAddress& address);

    // Appends number unless it is banned already.
    Outcome add(qint32 number);
    // Stores number at 0 <= k < count() unless it is banned already (entry k
    // included).
    Outcome change(int k, qint32 number);
    // 0 <= k < count(): the last ban moves into place k.
    Outcome remove(int k);
    // Removes the first ban equal to number.
    Outcome removeNumber(qint32 number);

    // Why the last save failed.
    const QString& saveError() const { return m_saveError; }

    // What the user is told about an outcome other than Saved.
    UserMessage messageFor(Outcome outcome) const;

private:
    Outcome save(std::vector<qint32> before);
    Outcome save6(std::vector<Ipv6Address> before);
    bool isBanned(const IpAddress& address) const;

    BanTable m_table;
    Ban6Table m_table6;
    QString m_filePath;
    QString m_file6Path;
    QString m_ban6Problem;
    QString m_saveError;
};

} // namespace qm
