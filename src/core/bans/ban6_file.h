#pragma once

#include "core/bans/ban6_table.h"

#include <QString>

namespace qm {

// Reads ban6.dat: 16-byte records, each an IPv6 address in network order,
// and nothing else (an empty file is an empty list). A length that is not a
// multiple of 16 sets the file aside as ban6.dat.bad and gives the empty
// table; a missing file stays missing; an unreadable one is kept. *problem
// says what was wrong, empty when nothing was.
Ban6Table loadBan6File(const QString& path, QString* problem = nullptr);

// Replaced atomically, as ban.dat is. False (with *error) on failure.
bool saveBan6Table(const Ban6Table& table, const QString& path, QString* error = nullptr);

} // namespace qm
