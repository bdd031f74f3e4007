#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

namespace qm {

// Replaces the file at path with bytes: they go to a temporary file in the same
// folder, which is flushed to disk and renamed over the old file, so the old
// content stays whole until the new one is complete. An existing file keeps its
// permissions. Returns false and sets *error when any step fails; the old file
// is then untouched and no temporary file is left behind.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// The same for content made piece by piece, so a large file is never held
// whole: produce hands each piece to put and returns false to give up, which
// leaves the old file untouched.
using PieceWriter = std::function<bool(QByteArrayView piece)>;
bool writeFileAtomically(const QString& path,
                         const std::function<bool(const PieceWriter& put)>& produce,
                         QString* error = nullptr);

} // namespace qm
