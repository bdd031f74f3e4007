#pragma once

#include <QString>
#include <QStringList>

namespace qm {

// The folder of this user's runtime files (single-instance locks, control
// sockets): $RUNTIME_DIRECTORY when a service manager gave one, else
// quillet-mirror in $XDG_RUNTIME_DIR, else quillet-mirror-<uid> in the
// temporary folder. Only its owner may enter it.
QString runtimeFolderPath();

// Makes runtimeFolderPath() when missing and narrows it to mode 0700. Refuses
// (empty, with *error) a folder that is a symbolic link or someone else's.
QString prepareRuntimeFolder(QString* error = nullptr);

// Where a relay using the settings folder may listen for control commands,
// most likely first: this user's runtime folder, then the packaged service's.
QStringList controlSocketCandidates(const QString& settingsFolder);
QString controlSocketName(const QString& settingsFolder);

// A name part that is the same for every spelling of path (the canonical
// path when it exists, else the absolute one).
QString pathIdentity(const QString& path);

} // namespace qm
