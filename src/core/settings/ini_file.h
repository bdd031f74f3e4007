#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace qm {

// Key-file access. Section and key names match without regard to case; the
// first section of a name is the one read and written. The file is single-byte
// text (Latin-1): characters outside it are written as "?". A UTF-8
// byte-order mark before the first line is skipped, and kept by a rewrite.
//
// Returns the value with blanks around it removed, cut to 254 characters, or
// "" when the file, section or key is missing or the file cannot be read.
QString readIniValue(const QString& section, const QString& key, const QString& path);
// The same for several keys of one section, in one pass over the file: one
// value for each key, in the order asked.
QStringList readIniValues(const QString& section, const QStringList& keys, const QString& path);

struct IniKeys {
    QString section;
    QStringList keys;
};
// The same for several sections in one pass: the values of each in the order asked.
QList<QStringList> readIniSections(const QList<IniKeys>& wanted, const QString& path);

// Sets key=value in section, creating the file, section or key as needed and
// leaving every other line byte for byte (an existing key keeps its line, a new
// key goes after the section's last non-blank line, a new section at the end).
// The file keeps its line ending; a new file gets "\n". Written atomically
// (temporary file, then rename). Returns false, writing nothing, when the file
// exists but cannot be read, cannot be replaced, or a name or value cannot be
// stored (empty or blank-edged names, line breaks, "=" or brackets in names).
bool writeIniValue(const QString& section, const QString& key, const QString& value,
                   const QString& path);

struct IniEntry {
    QString key;
    QString value;
};

// Several keys of one section in one atomic write, set in the given order.
// On failure *error, when given, names the file and the reason.
bool writeIniValues(const QString& section, const QList<IniEntry>& entries, const QString& path,
                    QString* error = nullptr);

} // namespace qm
