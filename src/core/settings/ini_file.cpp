#include "core/settings/ini_file.h"

#include "core/atomic_file.h"

#include <QFile>
#include <QFileInfo>

#include <optional>
#include <vector>

// The key file is single-byte text. Latin-1 stands in for the system code page:
// every byte reads as one character and back, so no byte of the file is ever
// changed by reading; characters outside Latin-1 are written as "?".

namespace qm {

namespace {

constexpr qint64 MaxFileSize = 16 * 1024 * 1024; // larger files count as unreadable
constexpr qsizetype MaxValueLength = 254;

struct Line {
    QByteArray text;   // without its line ending
    QByteArray ending; // "\n", "\r\n" or empty for a last line without one
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

std::vector<Line> splitLines(const QByteArray& content) {
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        const qsizetype newline = content.indexOf('\n', start);
        if (newline < 0) {
            lines.push_back({content.sliced(start), {}});
            break;
        }
        const bool crlf = newline > start && content[newline - 1] == '\r';
        const qsizetype textEnd = crlf ? newline - 1 : newline;
        lines.push_back({content.sliced(start, textEnd - start),
                         crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n")});
        start = newline + 1;
    }
    return lines;
}

// The name inside "[...]", or nothing for any other line.
std::optional<QByteArrayView> sectionName(const Line& line) {
    const QByteArrayView text = trimmedBlanks(line.text);
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = text.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return trimmedBlanks(text.sliced(1, close - 1));
}

std::optional<QByteArrayView> keyName(const Line& line) {
    const qsizetype equals = line.text.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return trimmedBlanks(QByteArrayView(line.text).first(equals));
}

// Lines header + 1 .. end - 1 belong to the section.
struct SectionRange {
    size_t header = 0;
    size_t end = 0;
};

// The first section of that name; later ones of the same name are not looked at.
std::optional<SectionRange> findSection(const std::vector<Line>& lines, const QString& section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i]);
        if (!name || !sameName(*name, section))
            continue;
        size_t end = i + 1;
        while (end < lines.size() && !sectionName(lines[end]))
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> findKey(const std::vector<Line>& lines, SectionRange range,
                              const QString& key) {
    for (size_t i = range.header + 1; i < range.end; ++i) {
        const auto name = keyName(lines[i]);
        if (name && sameName(*name, key))
            return i;
    }
    return std::nullopt;
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

QByteArray lineEndingOf(const std::vector<Line>& lines) {
    for (const Line& line : lines)
        if (!line.ending.isEmpty())
            return line.ending;
    return QByteArrayLiteral("\n");
}

void terminateLine(Line& line, const QByteArray& ending) {
    if (line.ending.isEmpty())
        line.ending = ending;
}

void setValue(std::vector<Line>& lines, const QString& section, const IniEntry& entry,
              const QByteArray& ending) {
    const QByteArray value = entry.value.toLatin1();
    const std::optional<SectionRange> range = findSection(lines, section);
    if (!range) {
        if (!lines.empty())
            terminateLine(lines.back(), ending);
        lines.push_back({'[' + section.toLatin1() + ']', ending});
        lines.push_back({entry.key.toLatin1() + '=' + value, ending});
        return;
    }
    if (const std::optional<size_t> keyLine = findKey(lines, *range, entry.key)) {
        QByteArray& text = lines[*keyLine].text;
        text.truncate(text.indexOf('=') + 1);
        text += value;
        return;
    }
    // After the section's last line that is not blank.
    size_t insertAt = range->end;
    while (insertAt > range->header + 1 && trimmedBlanks(lines[insertAt - 1].text).isEmpty())
        --insertAt;
    terminateLine(lines[insertAt - 1], ending);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                 Line{entry.key.toLatin1() + '=' + value, ending});
}

} // namespace

QString readIniValue(const QString& section, const QString& key, const QString& path) {
    QByteArray content;
    if (readWholeFile(path, &content) != ReadStatus::Read)
        return {};
    const std::vector<Line> lines = splitLines(content);
    const std::optional<SectionRange> range = findSection(lines, section);
    if (!range)
        return {};
    const std::optional<size_t> keyLine = findKey(lines, *range, key);
    if (!keyLine)
        return {};
    const QByteArray& text = lines[*keyLine].text;
    const QByteArrayView value = trimmedBlanks(QByteArrayView(text).sliced(text.indexOf('=') + 1));
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

    std::vector<Line> lines = splitLines(content);
    const QByteArray ending = lineEndingOf(lines);
    for (const IniEntry& entry : entries)
        setValue(lines, section, entry, ending);

    QByteArray output;
    output.reserve(content.size() + 256);
    for (const Line& line : lines)
        output += line.text + line.ending;

    return writeFileAtomically(path, output, error);
}

} // namespace qm
