#include "core/settings_folder.h"

#include "core/program_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace qm {

namespace {

bool writableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isWritable();
}

// An install puts the desktop entry under the same prefix as the executable.
// Its bin folder is no place for settings, even where root can write it: files
// found there only seed the user's folder.
bool isInstalledLayout(const QString& programFolder) {
    return QFileInfo::exists(
        QDir(programFolder)
            .filePath(QStringLiteral("../share/applications/quillet-mirror.desktop")));
}

void seedFrom(const QString& programFolder, const QString& userFolder) {
    const QStringList sources{configPath(programFolder), banFilePath(programFolder),
                              ban6FilePath(programFolder)};
    const QStringList targets{configPath(userFolder), banFilePath(userFolder),
                              ban6FilePath(userFolder)};
    if (QFileInfo::exists(targets[0]) || QFileInfo::exists(targets[1]))
        return; // not the first use
    for (int i = 0; i < sources.size(); ++i) {
        if (!QFileInfo(sources[i]).isReadable() || !QFile::copy(sources[i], targets[i]))
            continue;
        // A read-only packaged file must not make the user's copy read-only.
        QFile::setPermissions(targets[i], QFile::permissions(targets[i]) | QFile::WriteOwner);
    }
}

} // namespace

SettingsFolder prepareChosenFolder(const QString& dir) {
    const QString path = QDir(dir).absolutePath();
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        return {{}, QStringLiteral("%1 is not a folder").arg(path)};
    if (!QDir().mkpath(path))
        return {{}, QStringLiteral("cannot make the folder %1").arg(path)};
    if (!QFileInfo(path).isWritable())
        return {{}, QStringLiteral("the folder %1 is not writable").arg(path)};
    return {path, {}};
}

QString locateSettingsFolder(const QString& programFolder, const QString& userFolder) {
    const bool portable =
        !isInstalledLayout(programFolder) &&
        (QFileInfo(programFolder).isWritable() || writableFile(configPath(programFolder)) ||
         writableFile(banFilePath(programFolder)));
    if (portable)
        return programFolder;
    // When the folder cannot be made, saves fail and say so; the relay runs.
    if (QDir().mkpath(userFolder))
        seedFrom(programFolder, userFolder);
    return userFolder;
}

SettingsFolder resolveSettingsFolder(const QString& chosenDir) {
    if (!chosenDir.isEmpty())
        return prepareChosenFolder(chosenDir);
    return {locateSettingsFolder(programFolder(), QStandardPaths::writableLocation(
                                                      QStandardPaths::AppConfigLocation)),
            {}};
}

} // namespace qm
