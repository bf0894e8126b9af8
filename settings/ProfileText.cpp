// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ProfileText.h"

#include <algorithm>

namespace {

#ifdef Q_OS_WIN
constexpr QByteArrayView PlatformLineEnding = "\r\n";
#else
constexpr QByteArrayView PlatformLineEnding = "\n";
#endif

// One line of the text: [begin, end) is its content, `next` the start of the following line.
struct LineSpan
{
    qsizetype begin = -1;
    qsizetype end = -1;
    qsizetype next = -1;

    bool valid() const { return begin >= 0; }
    bool hasEnding() const { return next > end; }
};

LineSpan lineAt(const QByteArray &bytes, qsizetype begin)
{
    const qsizetype newline = bytes.indexOf('\n', begin);
    if (newline < 0)
        return {begin, bytes.size(), bytes.size()};
    const qsizetype end = (newline > begin && bytes[newline - 1] == '\r') ? newline - 1 : newline;
    return {begin, end, newline + 1};
}

enum class LineKind { Other, Section, Key };

struct ParsedLine
{
    LineKind kind = LineKind::Other;
    QByteArrayView name; // the section's or the key's name, trimmed
    qsizetype equalsSign = 0; // offset in the line of the "="
    qsizetype valueBegin = 0; // offset in the line of the value, after "=" and its blanks
    QByteArrayView value; // trimmed
};

ParsedLine parse(QByteArrayView line)
{
    ParsedLine parsed;
    const QByteArrayView content = line.trimmed();
    if (content.startsWith('[')) {
        const qsizetype close = content.indexOf(']');
        if (close > 0) {
            parsed.kind = LineKind::Section;
            parsed.name = content.sliced(1, close - 1).trimmed();
            return parsed;
        }
    }
    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
        return parsed;
    parsed.kind = LineKind::Key;
    parsed.name = line.first(equals).trimmed();
    parsed.equalsSign = equals;
    qsizetype valueBegin = equals + 1;
    while (valueBegin < line.size() && (line[valueBegin] == ' ' || line[valueBegin] == '\t'))
        ++valueBegin;
    parsed.valueBegin = valueBegin;
    parsed.value = line.sliced(valueBegin).trimmed();
    return parsed;
}

// Latin-1 lower case: A-Z and the accented capitals 0xC0-0xDE (but not 0xD7, the multiplication
// sign).
uchar folded(char c)
{
    const auto u = uchar(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return u + 0x20;
    return u;
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (folded(a[i]) != folded(b[i]))
            return false;
    }
    return true;
}

bool hasLineBreakOrZero(QByteArrayView text)
{
    return text.contains('\n') || text.contains('\r') || text.contains('\0');
}

bool isValidName(QByteArrayView name)
{
    return !name.isEmpty() && name.trimmed().size() == name.size() && !hasLineBreakOrZero(name);
}

QByteArray returned(QByteArrayView text)
{
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text = text.first(zero);
    return text.toByteArray();
}

} // namespace

struct ProfileText::Location
{
    LineSpan header; // the section's header line; invalid when the section is missing
    LineSpan lastKey; // the section's last key line, or its header when it has none
    LineSpan keyLine; // the key's line; invalid when the key is missing
    ParsedLine key;
};

ProfileText::ProfileText(const QByteArray &bytes)
    : m_bytes(bytes), m_start(bytes.startsWith(ByteOrderMark) ? ByteOrderMark.size() : 0)
{
    const qsizetype newline = m_bytes.indexOf('\n');
    if (newline < 0)
        m_eol = PlatformLineEnding.toByteArray();
    else
        m_eol = (newline > 0 && m_bytes[newline - 1] == '\r') ? "\r\n" : "\n";
}

ProfileText::Location ProfileText::locate(QByteArrayView section, QByteArrayView key) const
{
    Location found;
    for (qsizetype begin = m_start; begin < m_bytes.size();) {
        const LineSpan span = lineAt(m_bytes, begin);
        begin = span.next;
        const ParsedLine line
            = parse(QByteArrayView(m_bytes).sliced(span.begin, span.end - span.begin));
        if (line.kind == LineKind::Section) {
            if (found.header.valid())
                break; // the end of the first section of that name
            if (sameName(line.name, section))
                found.header = found.lastKey = span;
        } else if (line.kind == LineKind::Key && found.header.valid()) {
            found.lastKey = span;
            if (!found.keyLine.valid() && sameName(line.name, key)) {
                found.keyLine = span;
                found.key = line;
            }
        }
    }
    return found;
}

QByteArray ProfileText::value(QByteArrayView section, QByteArrayView key,
                              QByteArrayView defaultValue) const
{
    const Location found = locate(section, key);
    if (!found.keyLine.valid())
        return returned(defaultValue);

    QByteArrayView text = found.key.value;
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text = text.first(zero);
    if (text.size() > 1 && (text.front() == '"' || text.front() == '\'')
        && text.back() == text.front())
        text = text.sliced(1, text.size() - 2);
    return returned(text);
}

bool ProfileText::contains(QByteArrayView section, QByteArrayView key) const
{
    return locate(section, key).keyLine.valid();
}

bool ProfileText::setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    if (!isValidName(section) || section.contains(']') || !isValidName(key) || key.contains('=')
        || hasLineBreakOrZero(value))
        return false;

    const Location found = locate(section, key);
    const QByteArray keyLine = key.toByteArray() + '=' + value.toByteArray();

    if (found.keyLine.valid()) {
        if (found.key.value == value)
            return true; // reads as it is (only padding around it differs)
        // The blanks after "=" stay, unless the value brings blanks of its own.
        const bool padded = !value.isEmpty() && (value.front() == ' ' || value.front() == '\t');
        const qsizetype from
            = found.keyLine.begin + (padded ? found.key.equalsSign + 1 : found.key.valueBegin);
        const qsizetype length = found.keyLine.end - from;
        if (QByteArrayView(m_bytes).sliced(from, length) != value)
            m_bytes.replace(from, length, value.toByteArray());
        return true;
    }

    if (found.header.valid()) {
        const LineSpan after = found.lastKey;
        if (after.hasEnding())
            m_bytes.insert(after.next, keyLine + m_eol);
        else
            m_bytes.insert(after.end, m_eol + keyLine); // the last line, without a newline
        return true;
    }

    // A new section at the end, one blank line after the text before it.
    const QByteArray header = '[' + section.toByteArray() + ']';
    if (m_bytes.size() == m_start) {
        m_bytes += header + m_eol + keyLine + m_eol;
        return true;
    }
    const bool finalNewline = m_bytes.endsWith('\n');
    const qsizetype searchFrom = m_bytes.size() - (finalNewline ? 2 : 1);
    const qsizetype lastBegin = std::max(
        m_start, searchFrom < 0 ? qsizetype(0) : m_bytes.lastIndexOf('\n', searchFrom) + 1);
    const LineSpan last = lineAt(m_bytes, lastBegin);
    const bool lastIsBlank
        = QByteArrayView(m_bytes).sliced(last.begin, last.end - last.begin).trimmed().isEmpty();
    QByteArray tail;
    if (!finalNewline)
        tail += m_eol;
    if (!lastIsBlank)
        tail += m_eol;
    tail += header + m_eol + keyLine;
    if (finalNewline)
        tail += m_eol;
    m_bytes += tail;
    return true;
}
