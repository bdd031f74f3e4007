#include "core/settings/ini_lines.h"

namespace qm {

namespace {

constexpr qsizetype ChunkSize = 64 * 1024;
constexpr qsizetype MaxValueLength = 254;
const QByteArray ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// A name without the blanks around it; cut once it grows past the limit.
class NameText {
public:
    explicit NameText(qsizetype limit) : m_limit(limit) {}

    void add(char c) {
        if (m_cut)
            return;
        if (isBlank(c)) {
            // Blanks count only once text follows them; a few past the limit show enough.
            if (!m_text.isEmpty() && m_blanks.size() <= m_limit)
                m_blanks += c;
            return;
        }
        if (m_text.size() + m_blanks.size() + 1 > m_limit) {
            m_cut = true;
            m_text.clear();
            m_blanks.clear();
            return;
        }
        m_text += m_blanks;
        m_text += c;
        m_blanks.clear();
    }
    bool cut() const { return m_cut; }
    const QByteArray& text() const { return m_text; }

private:
    qsizetype m_limit;
    QByteArray m_text;
    QByteArray m_blanks; // inner blanks, kept once text follows them
    bool m_cut = false;
};

// A value without the blanks around it, cut to its first 254 characters.
class ValueText {
public:
    void add(char c) {
        if (m_text.isEmpty() && isBlank(c))
            return;
        if (m_text.size() < MaxValueLength)
            m_text += c;
        else if (!isBlank(c))
            m_longer = true;
    }
    QByteArray text() const {
        if (m_longer)
            return m_text;
        QByteArray text = m_text;
        while (!text.isEmpty() && isBlank(text.back()))
            text.chop(1);
        return text;
    }

private:
    QByteArray m_text;
    bool m_longer = false; // something other than blanks follows the 254 kept
};

// What one line has shown so far, byte by byte.
struct LineState {
    explicit LineState(qsizetype nameLimit) : keyName(nameLimit), sectionName(nameLimit) {}

    void add(char c, qint64 offset) {
        if (!equals) {
            if (c == '=') {
                equals = true;
                valueStart = offset + 1;
            } else {
                keyName.add(c);
            }
        } else {
            value.add(c);
        }
        if (blank) {
            if (!isBlank(c)) {
                blank = false;
                bracket = c == '[';
            }
        } else if (bracket && !closed) {
            if (c == ']')
                closed = true;
            else
                sectionName.add(c);
        }
    }

    NameText keyName;
    NameText sectionName;
    ValueText value;
    bool blank = true;
    bool bracket = false; // the first byte that is not blank is "["
    bool closed = false;  // and a "]" follows it
    bool equals = false;
    qint64 valueStart = 0;
};

} // namespace

bool IniLine::matches(const QString& wanted) const {
    return !nameCut && QString::fromLatin1(name).compare(wanted, Qt::CaseInsensitive) == 0;
}

IniLineReader::IniLineReader(QIODevice& file, qsizetype nameLimit, qint64 sizeLimit)
    : m_file(file), m_nameLimit(nameLimit), m_sizeLimit(sizeLimit) {}

bool IniLineReader::atEnd() {
    if (m_pos < m_chunk.size())
        return false;
    if (m_eof || m_failed)
        return true;
    m_chunkOffset += m_chunk.size();
    m_chunk.resize(ChunkSize);
    const qint64 count = m_file.read(m_chunk.data(), ChunkSize);
    m_chunk.resize(qMax<qint64>(count, 0));
    m_pos = 0;
    if (count < 0 || m_chunkOffset + count > m_sizeLimit)
        m_failed = true;
    else if (count == 0)
        m_eof = true;
    return m_chunk.isEmpty() || m_failed;
}

// Files padded with millions of empty lines are read at the speed of their
// bytes. A CR LF split across two chunks takes the general path.
bool IniLineReader::takeEmptyLine(IniLine* line) {
    const char* at = m_chunk.constData() + m_pos;
    qsizetype length = 0;
    if (at[0] == '\n')
        length = 1;
    else if (at[0] == '\r' && m_pos + 1 < m_chunk.size() && at[1] == '\n')
        length = 2;
    if (length == 0)
        return false;
    const qint64 start = offset();
    m_pos += length;
    line->kind = IniLine::Kind::Other;
    line->blank = true;
    line->valueStart = 0;
    line->textEnd = start;
    line->end = start + length;
    // Assigned only when it changes: the copy is most of an empty line's cost.
    if (line->ending.size() != length)
        line->ending = length == 1 ? QByteArrayLiteral("\n") : QByteArrayLiteral("\r\n");
    line->name.clear();
    line->nameCut = false;
    line->value.clear();
    return true;
}

bool IniLineReader::next(IniLine* line) {
    if (!m_started) {
        m_started = true;
        if (!atEnd() && m_chunk.startsWith(ByteOrderMark))
            m_pos = ByteOrderMark.size();
    }
    if (atEnd())
        return false;
    if (takeEmptyLine(line))
        return true;

    LineState state(m_nameLimit);
    const auto finish = [&](qint64 textEnd, qint64 end, const QByteArray& ending) {
        line->blank = state.blank;
        line->valueStart = state.valueStart;
        line->textEnd = textEnd;
        line->end = end;
        line->ending = ending;
        line->value.clear();
        if (state.bracket && state.closed) {
            line->kind = IniLine::Kind::Section;
            line->name = state.sectionName.text();
            line->nameCut = state.sectionName.cut();
        } else if (state.equals) {
            line->kind = IniLine::Kind::Key;
            line->name = state.keyName.text();
            line->nameCut = state.keyName.cut();
            line->value = state.value.text();
        } else {
            line->kind = IniLine::Kind::Other;
            line->name.clear();
            line->nameCut = false;
        }
        return true;
    };

    while (!atEnd()) {
        const qint64 at = offset();
        const char c = take();
        if (c == '\n')
            return finish(at, at + 1, QByteArrayLiteral("\n"));
        // A CR ends a line only before an LF; elsewhere it is part of the text.
        if (c == '\r' && !atEnd() && m_chunk.constData()[m_pos] == '\n') {
            ++m_pos;
            return finish(at, at + 2, QByteArrayLiteral("\r\n"));
        }
        if (m_failed)
            return false;
        state.add(c, at);
    }
    if (m_failed)
        return false;
    return finish(offset(), offset(), QByteArray());
}

} // namespace qm
