#pragma once

#include "core/bans/ban_table.h"
#include "core/user_message.h"

#include <QString>

namespace qm {

// Changes to the ban table from the windows, each saved to the ban file at
// once. When the save fails the table is put back as it was, which is what
// the file still holds, so table and file never part.
class BanChanges {
public:
    enum class Outcome { Saved, AlreadyBanned, TableFull, SaveFailed };

    BanChanges(BanTable& table, QString filePath);

    // Appends number unless it is banned already.
    Outcome add(qint32 number);
    // Stores number at 0 <= k < count() unless it is banned already (entry k
    // included).
    Outcome change(int k, qint32 number);
    // 0 <= k < count(): the last ban moves into place k.
    Outcome remove(int k);

    // Why the last save failed.
    const QString& saveError() const { return m_saveError; }

    // What the windows tell the user about an outcome other than Saved.
    UserMessage messageFor(Outcome outcome) const;

private:
    Outcome save(std::vector<qint32> before);

    BanTable& m_table;
    QString m_filePath;
    QString m_saveError;
};

} // namespace qm
