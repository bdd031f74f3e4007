#pragma once

#include "core/bans/ban_table.h"
#include "core/user_message.h"

#include <QString>

namespace qm {

// The one owner of the ban table and its file: the windows and the control
// commands change bans only here, each change saved to the ban file at once.
// When the save fails the table is put back as it was, which is what the file
// still holds, so table and file never part.
class BanList {
public:
    enum class Outcome { Saved, AlreadyBanned, NotBanned, TableFull, SaveFailed };

    // Loads the file at once.
    explicit BanList(QString filePath);

    const BanTable& table() const { return m_table; }
    const QString& filePath() const { return m_filePath; }

    // Reads the file again, as at start.
    void reload();

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

    BanTable m_table;
    QString m_filePath;
    QString m_saveError;
};

} // namespace qm
