#pragma once

#include <QString>

namespace qm {

// Key-file access. Section and key names match without regard to case.
// Returns the value (cut to 254 characters) or "" when the file, section or key
// is missing or the file cannot be read.
QString ReadIniValue(const QString& section, const QString& key, const QString& path);

// Sets key=value in section, creating the file, section or key as needed and
// leaving every other line byte for byte. Written atomically (temporary file,
// then rename). Returns false when the file could not be written.
bool WriteIniValue(const QString& section, const QString& key, const QString& value,
                   const QString& path);

} // namespace qm
