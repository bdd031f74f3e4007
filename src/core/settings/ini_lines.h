#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace qm {

// One line of a key file, as much of it as lookups and edits need: however
// long the line, only its name and the first 254 characters of its value are
// kept, so a file of any shape is read in a few kilobytes.
struct IniLine {
    enum class Kind { Other, Section, Key };

    Kind kind = Kind::Other;
    QByteArray name;       // section or key name, blanks around it removed
    bool nameCut = false;  // longer than the reader keeps: matches no name asked for
    QByteArray value;      // key lines: blanks around it removed, cut to 254 characters
    bool blank = true;     // nothing but blanks
    qint64 valueStart = 0; // key lines: offset of the byte after the first "="
    qint64 textEnd = 0;    // offset of the line ending, or of the end of the file
    qint64 end = 0;        // offset after the line ending
    QByteArray ending;     // "\n", "\r\n", or empty for a last line without one

    // Section and key names match without regard to case.
    bool matches(const QString& wanted) const;
};

// Reads a key file line by line in chunks. Lines end at LF or CRLF.
// A UTF-8 byte-order mark at the start is not part of the first line.
class IniLineReader {
public:
    // Names longer than nameLimit are not kept (IniLine::nameCut).
    IniLineReader(QIODevice& file, qsizetype nameLimit, qint64 sizeLimit);

    // False at the end of the file or when reading fails (failed()).
    bool next(IniLine* line);
    // A read error, or more than sizeLimit bytes.
    bool failed() const { return m_failed; }
    qint64 offset() const { return m_chunkOffset + m_pos; }

private:
    bool atEnd();
    char take() { return m_chunk.constData()[m_pos++]; }
    bool takeEmptyLine(IniLine* line);

    QIODevice& m_file;
    qsizetype m_nameLimit;
    qint64 m_sizeLimit;
    QByteArray m_chunk;
    qsizetype m_pos = 0;
    qint64 m_chunkOffset = 0;
    bool m_started = false;
    bool m_eof = false;
    bool m_failed = false;
};

} // namespace qm
