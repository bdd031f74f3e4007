#include "core/settings/ini_file.h"

#include "core/atomic_file.h"
#include "core/settings/ini_lines.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <vector>

// The key file is single-byte text. Latin-1 stands in for the system code page:
// every byte reads as one character and back, so no byte of the file is ever
// changed by reading; characters outside Latin-1 are written as "?".
// The file is read as a stream, line by line, and rewritten as one: a large or
// damaged file costs time in proportion to its size, never memory.

namespace qm {

namespace {

constexpr qint64 MaxFileSize = 16 * 1024 * 1024; // larger files count as unreadable
constexpr qint64 CopyChunk = 64 * 1024;

enum class OpenStatus { Open, Missing, Unreadable };

OpenStatus openForReading(const QString& path, QFile* file) {
    const QFileInfo info(path);
    if (!info.exists())
        return OpenStatus::Missing;
    if (!info.isFile() || info.size() > MaxFileSize)
        return OpenStatus::Unreadable;
    file->setFileName(path);
    return file->open(QIODevice::ReadOnly) ? OpenStatus::Open : OpenStatus::Unreadable;
}

qsizetype longestName(const QString& section, const QStringList& keys) {
    qsizetype longest = section.size();
    for (const QString& key : keys)
        longest = qMax(longest, key.size());
    return longest;
}

// A name that the reader would find again: no line breaks, no characters that
// end a section header or a key, no blanks that reading would trim.
bool isWritableName(const QString& name, QStringView forbidden) {
    if (name.isEmpty() || name.front().isSpace() || name.back().isSpace())
        return false;
    for (QChar c : forbidden)
        if (name.contains(c))
            return false;
    return true;
}

bool hasLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r');
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// One key to write; entries naming the same key write one line, with the last value.
struct KeyEdit {
    QString key;
    QByteArray value;
    std::optional<IniLine> existing; // the key's line in the section, when there is one
};

// What a write changes, found in one pass over the file.
struct EditPlan {
    bool sectionFound = false;
    IniLine insertAfter;          // last line of the section that is not blank (or its header)
    bool fileEndsUnended = false; // the last line has no line ending
    QByteArray ending;            // the file's line ending; "\n" for a file without one
    qint64 size = 0;
    std::vector<KeyEdit> keys;
};

std::vector<KeyEdit> keyEdits(const QList<IniEntry>& entries) {
    std::vector<KeyEdit> keys;
    for (const IniEntry& entry : entries) {
        auto same = std::find_if(keys.begin(), keys.end(),
                                 [&](const KeyEdit& k) { return sameName(k.key, entry.key); });
        if (same == keys.end())
            keys.push_back({entry.key, entry.value.toLatin1(), std::nullopt});
        else
            same->value = entry.value.toLatin1();
    }
    return keys;
}

// False when the file could not be read to its end.
bool planEdits(QFile& file, const QString& section, EditPlan* plan) {
    QStringList names;
    for (const KeyEdit& k : plan->keys)
        names.append(k.key);
    IniLineReader reader(file, longestName(section, names), MaxFileSize);
    bool inSection = false;
    IniLine line;
    while (reader.next(&line)) {
        if (plan->ending.isEmpty())
            plan->ending = line.ending;
        plan->fileEndsUnended = line.ending.isEmpty();
        plan->size = line.end;
        if (line.kind == IniLine::Kind::Section) {
            inSection = !plan->sectionFound && line.matches(section);
            if (inSection) {
                plan->sectionFound = true;
                plan->insertAfter = line;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!line.blank)
            plan->insertAfter = line;
        if (line.kind != IniLine::Kind::Key)
            continue;
        for (KeyEdit& k : plan->keys)
            if (!k.existing && line.matches(k.key))
                k.existing = line;
    }
    if (plan->ending.isEmpty())
        plan->ending = QByteArrayLiteral("\n");
    plan->size = qMax(plan->size, reader.offset());
    return !reader.failed();
}

struct Splice {
    qint64 from = 0; // bytes from..to of the old file are replaced by text
    qint64 to = 0;
    QByteArray text;
};

std::vector<Splice> splicesOf(const EditPlan& plan, const QString& section) {
    std::vector<Splice> splices;
    QByteArray newLines;
    for (const KeyEdit& k : plan.keys) {
        if (k.existing)
            splices.push_back({k.existing->valueStart, k.existing->textEnd, k.value});
        else
            newLines += k.key.toLatin1() + '=' + k.value + plan.ending;
    }
    if (!plan.sectionFound) {
        const QByteArray before = plan.fileEndsUnended ? plan.ending : QByteArray();
        splices.push_back({plan.size, plan.size,
                           before + '[' + section.toLatin1() + ']' + plan.ending + newLines});
    } else if (!newLines.isEmpty()) {
        const IniLine& last = plan.insertAfter;
        const QByteArray before = last.ending.isEmpty() ? plan.ending : QByteArray();
        splices.push_back({last.end, last.end, before + newLines});
    }
    std::sort(splices.begin(), splices.end(),
              [](const Splice& a, const Splice& b) { return a.from < b.from; });
    return splices;
}

// Copies bytes up to offset `to` of the old file; false on a read error or
// when the file is shorter than it was.
bool copyUpTo(QFile* file, qint64 to, const PieceWriter& put) {
    QByteArray chunk;
    while (file->pos() < to) {
        chunk.resize(qMin(CopyChunk, to - file->pos()));
        const qint64 count = file->read(chunk.data(), chunk.size());
        if (count <= 0 || !put(QByteArrayView(chunk.constData(), count)))
            return false;
    }
    return true;
}

bool writeEdited(QFile* file, const EditPlan& plan, const std::vector<Splice>& splices,
                 const PieceWriter& put) {
    if (file->isOpen() && !file->seek(0))
        return false;
    for (const Splice& splice : splices) {
        if (!copyUpTo(file, splice.from, put) || !put(splice.text))
            return false;
        if (splice.to > splice.from && !file->seek(splice.to))
            return false;
    }
    if (!copyUpTo(file, plan.size, put))
        return false;
    // A file that grew since it was read is not cut short silently.
    char extra = 0;
    return !file->isOpen() || file->read(&extra, 1) == 0;
}

} // namespace

QString readIniValue(const QString& section, const QString& key, const QString& path) {
    return readIniValues(section, {key}, path).first();
}

QStringList readIniValues(const QString& section, const QStringList& keys, const QString& path) {
    return readIniSections({{section, keys}}, path).first();
}

QList<QStringList> readIniSections(const QList<IniKeys>& wanted, const QString& path) {
    QList<QStringList> values;
    qsizetype left = 0;
    qsizetype nameLimit = 0;
    for (const IniKeys& part : wanted) {
        values.append(QStringList(part.keys.size()));
        left += part.keys.size();
        nameLimit = qMax(nameLimit, part.section.size());
        for (const QString& key : part.keys)
            nameLimit = qMax(nameLimit, key.size());
    }
    QFile file;
    if (openForReading(path, &file) != OpenStatus::Open)
        return values;
    IniLineReader reader(file, nameLimit, MaxFileSize);
    std::vector<std::vector<bool>> found;
    for (const IniKeys& part : wanted)
        found.emplace_back(static_cast<size_t>(part.keys.size()), false);
    std::vector<bool> sectionSeen(static_cast<size_t>(wanted.size()), false);
    qsizetype current = -1; // the wanted section being read, if any
    IniLine line;
    while (left > 0 && reader.next(&line)) {
        if (line.kind == IniLine::Kind::Section) {
            if (std::all_of(sectionSeen.begin(), sectionSeen.end(), [](bool seen) { return seen; }))
                break; // only the first section of a name counts: nothing more to read
            current = -1;
            for (qsizetype s = 0; s < wanted.size(); ++s) {
                // Only the first section of a name counts.
                if (!sectionSeen[size_t(s)] && line.matches(wanted[s].section)) {
                    sectionSeen[size_t(s)] = true;
                    current = s;
                    break;
                }
            }
            continue;
        }
        if (current < 0 || line.kind != IniLine::Kind::Key)
            continue;
        const QStringList& keys = wanted[current].keys;
        std::vector<bool>& foundHere = found[size_t(current)];
        for (qsizetype k = 0; k < keys.size(); ++k) {
            if (!foundHere[static_cast<size_t>(k)] && line.matches(keys[k])) {
                foundHere[static_cast<size_t>(k)] = true; // the first line of a key counts
                values[current][k] = QString::fromLatin1(line.value);
                --left;
            }
        }
    }
    return values;
}

bool writeIniValue(const QString& section, const QString& key, const QString& value,
                   const QString& path) {
    return writeIniValues(section, {{key, value}}, path);
}

bool writeIniValues(const QString& section, const QList<IniEntry>& entries, const QString& path,
                    QString* error) {
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, reason);
        return false;
    };
    if (!isWritableName(section, u"\r\n[]"))
        return fail(QStringLiteral("the section name cannot be stored"));
    for (const IniEntry& entry : entries)
        if (!isWritableName(entry.key, u"\r\n=[") || hasLineBreak(entry.value))
            return fail(QStringLiteral("a key or value cannot be stored"));

    QFile file;
    const OpenStatus status = openForReading(path, &file);
    EditPlan plan;
    plan.keys = keyEdits(entries);
    if (status == OpenStatus::Unreadable ||
        (status == OpenStatus::Open && !planEdits(file, section, &plan)))
        return fail(QStringLiteral("the file cannot be read")); // never replace it then
    if (status == OpenStatus::Missing)
        plan.ending = QByteArrayLiteral("\n");
    const std::vector<Splice> splices = splicesOf(plan, section);
    return writeFileAtomically(
        path, [&](const PieceWriter& put) { return writeEdited(&file, plan, splices, put); },
        error);
}

} // namespace qm
