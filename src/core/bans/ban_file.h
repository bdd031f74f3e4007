#pragma once

#include "core/bans/ban_table.h"

#include <QString>

namespace qm {

// Reads ban.dat at start: a length of 0 or not a multiple of 4 deletes the file
// and gives the empty table; a missing file stays missing; a file that exists
// but cannot be read is kept and gives the empty table.
BanTable loadBanFile(const QString& path);

// Writes every element (spare included) as little-endian 32-bit records.
// Written to a temporary file beside it and renamed over it, so a failure
// leaves the old file untouched. Returns false (and sets *error) on failure.
bool saveBanTable(const BanTable& table, const QString& path, QString* error = nullptr);

} // namespace qm
