#include "core/program_folder.h"

#include <QCoreApplication>
#include <QDir>

namespace qm {

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

QString configPath(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("config.ini"));
}

QString banFilePath(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("ban.dat"));
}

QString ban6FilePath(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("ban6.dat"));
}

} // namespace qm
