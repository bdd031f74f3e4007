#include "core/settings/ini_file.h"

#include "core/atomic_file.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

// The key file is single-byte text. Latin-1 stands in for the system code page:
// every byte reads as one character and back, so no byte of the file is ever
// changed by reading; characters outside Latin-1 are written as "?".

namespace qm {

namespace {

constexpr qint64 MaxFileSize = 16 * 1024 * 1024; // larger files count as unreadable
constexpr qsizetype MaxValueLength = 254;

// A UTF-8 byte-order mark, as some editors put it before the first line: it is
// not part of that line, and a rewrite keeps it.
constexpr QByteArrayView ByteOrderMark("\xEF\xBB\xBF");

// One line as offsets into the file's text, so that even a file of millions of
// empty lines costs no memory beyond its own bytes.
struct Line {
    qsizetype start = 0;
    qsizetype textEnd = 0; // where its line ending starts
    qsizetype end = 0;     // after its line ending ("\n", "\r\n" or none at the end)
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView trimmedBlanks(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool sameName(QByteArrayView fileText, const QString& name) {
    return QString::fromLatin1(fileText).compare(name, Qt::CaseInsensitive) == 0;
}

// Walks the lines of a text from its start.
class LineCursor {
public:
    explicit LineCursor(QByteArrayView content) : m_content(content) {}

    bool next(Line* line) {
        if (m_start >= m_content.size())
            return false;
        const qsizetype newline = m_content.indexOf('\n', m_start);
        line->start = m_start;
        if (newline < 0) {
            line->textEnd = line->end = m_content.size();
        } else {
            const bool crlf = newline > m_start && m_content[newline - 1] == '\r';
            line->textEnd = crlf ? newline - 1 : newline;
            line->end = newline + 1;
        }
        m_start = line->end;
        return true;
    }
    QByteArrayView text(const Line& line) const {
        return m_content.sliced(line.start, line.textEnd - line.start);
    }

private:
    QByteArrayView m_content;
    qsizetype m_start = 0;
};

// The name inside "[...]", or nothing for any other line.
std::optional<QByteArrayView> sectionName(QByteArrayView line) {
    const QByteArrayView text = trimmedBlanks(line);
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = text.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return trimmedBlanks(text.sliced(1, close - 1));
}

std::optional<QByteArrayView> keyName(QByteArrayView line) {
    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return trimmedBlanks(line.first(equals));
}

// What a lookup or an edit needs to know of the first section of a name; later
// ones of the same name are not looked at.
struct SectionLines {
    Line header;
    Line lastFilled;         // the section's last line that is not blank, or its header
    std::optional<Line> key; // the first line of the key asked for
};

std::optional<SectionLines> findSection(QByteArrayView content, const QString& section,
                                        const QString& key) {
    LineCursor cursor(content);
    Line line;
    bool header = false;
    while (!header && cursor.next(&line)) {
        const auto name = sectionName(cursor.text(line));
        header = name && sameName(*name, section);
    }
    if (!header)
        return std::nullopt;
    SectionLines found{line, line, std::nullopt};
    while (cursor.next(&line)) {
        const QByteArrayView text = cursor.text(line);
        if (sectionName(text))
            break;
        if (!trimmedBlanks(text).isEmpty())
            found.lastFilled = line;
        const auto name = keyName(text);
        if (!found.key && name && sameName(*name, key))
            found.key = line;
    }
    return found;
}

enum class ReadStatus { Read, Missing, Unreadable };

ReadStatus readWholeFile(const QString& path, QByteArray* content) {
    const QFileInfo info(path);
    if (!info.exists())
        return ReadStatus::Missing;
    if (!info.isFile() || info.size() > MaxFileSize)
        return ReadStatus::Unreadable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadStatus::Unreadable;
    // Sized by the file, not the limit; one byte more shows that it grew too big.
    *content = file.read(qMin(file.size(), MaxFileSize) + 1);
    if (file.error() != QFileDevice::NoError || content->size() > MaxFileSize)
        return ReadStatus::Unreadable;
    return ReadStatus::Read;
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

// The file's first line ending; "\n" for a file without one.
QByteArray lineEndingOf(QByteArrayView content) {
    const qsizetype newline = content.indexOf('\n');
    if (newline > 0 && content[newline - 1] == '\r')
        return QByteArrayLiteral("\r\n");
    return QByteArrayLiteral("\n");
}

QByteArray splice(QByteArrayView content, qsizetype at, qsizetype removed,
                  const QByteArray& inserted) {
    QByteArray result;
    result.reserve(content.size() - removed + inserted.size());
    result.append(content.first(at));
    result.append(inserted);
    result.append(content.sliced(at + removed));
    return result;
}

QByteArray withValue(const QByteArray& content, const QString& section, const IniEntry& entry,
                     const QByteArray& ending) {
    const QByteArray keyLine = entry.key.toLatin1() + '=' + entry.value.toLatin1() + ending;
    const std::optional<SectionLines> found = findSection(content, section, entry.key);
    if (!found) {
        const bool unended = !content.isEmpty() && !content.endsWith('\n');
        return content + (unended ? ending : QByteArray()) + '[' + section.toLatin1() + ']' +
               ending + keyLine;
    }
    if (found->key) {
        const qsizetype valueStart = content.indexOf('=', found->key->start) + 1;
        return splice(content, valueStart, found->key->textEnd - valueStart,
                      entry.value.toLatin1());
    }
    // After the section's last line that is not blank.
    const Line& last = found->lastFilled;
    const QByteArray before = last.textEnd == last.end ? ending : QByteArray();
    return splice(content, last.end, 0, before + keyLine);
}

} // namespace

QString readIniValue(const QString& section, const QString& key, const QString& path) {
    QByteArray content;
    if (readWholeFile(path, &content) != ReadStatus::Read)
        return {};
    QByteArrayView text(content);
    if (text.startsWith(ByteOrderMark))
        text = text.sliced(ByteOrderMark.size());
    const std::optional<SectionLines> found = findSection(text, section, key);
    if (!found || !found->key)
        return {};
    const QByteArrayView line =
        text.sliced(found->key->start, found->key->textEnd - found->key->start);
    const QByteArrayView value = trimmedBlanks(line.sliced(line.indexOf('=') + 1));
    return QString::fromLatin1(value.first(qMin(value.size(), MaxValueLength)));
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

    QByteArray content;
    if (readWholeFile(path, &content) == ReadStatus::Unreadable)
        return fail(QStringLiteral("the file cannot be read")); // never replace it then

    const bool marked = content.startsWith(ByteOrderMark);
    QByteArray output = marked ? content.sliced(ByteOrderMark.size()) : content;
    content.clear();
    const QByteArray ending = lineEndingOf(output);
    for (const IniEntry& entry : entries)
        output = withValue(output, section, entry, ending);
    if (marked)
        output.prepend(ByteOrderMark);

    return writeFileAtomically(path, output, error);
}

} // namespace qm
