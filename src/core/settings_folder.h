#pragma once

#include <QString>

namespace qm {

// The folder that holds config.ini and ban.dat, or why it cannot be used.
struct SettingsFolder {
    QString path; // empty when the folder cannot be used
    QString error;
};

// The folder for this run. A folder named on the command line is used
// outright (made when missing); otherwise a portable copy keeps its files
// beside the executable and an installed one uses the user's folder.
SettingsFolder resolveSettingsFolder(const QString& chosenDir);

// The steps of the choice, for tests.
SettingsFolder prepareChosenFolder(const QString& dir);
// Portable (the program's folder) when that folder is writable or already
// holds a config.ini or ban.dat that can be written, unless it is the bin
// folder of an install. Otherwise userFolder, which on its first use receives
// copies of the program folder's readable files: packaged defaults or an
// administrator's files carry over.
QString locateSettingsFolder(const QString& programFolder, const QString& userFolder);

} // namespace qm
