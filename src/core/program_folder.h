#pragma once

#include <QString>

namespace qm {

// The folder that holds the executable (never the working directory):
// config.ini, ban.dat and ban6.dat live there.
QString programFolder();
QString configPath(const QString& folder);
QString banFilePath(const QString& folder);
QString ban6FilePath(const QString& folder);

} // namespace qm
