#pragma once

#include <QString>

namespace qm {

// The folder that holds the executable (never the working directory):
// config.ini and ban.dat live there.
QString programFolder();
QString configPath(const QString& folder);
QString banFilePath(const QString& folder);

} // namespace qm
