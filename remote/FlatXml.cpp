// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/FlatXml.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF)
           || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Whether `in` is UTF-8 holding only characters that XML allows; `at` is the first byte that is
// not.
const char *checkCharacters(QByteArrayView in, qsizetype &at)
{
    const auto *p = reinterpret_cast<const uchar *>(in.data());
    const qsizetype n = in.size();
    for (at = 0; at < n;) {
        const uchar lead = p[at];
        if (lead < 0x80) {
            if (lead < 0x20 && !isBlank(char(lead)))
                return "holds a character that XML does not allow";
            ++at;
            continue;
        }
        const int length = lead >= 0xC2 && lead <= 0xDF   ? 2
                           : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                          : 0;
        if (length == 0 || at + length > n)
            return "not UTF-8";
        char32_t c = lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            if ((p[at + k] & 0xC0) != 0x80)
                return "not UTF-8";
            c = (c << 6) | (p[at + k] & 0x3F);
        }
        if ((length == 3 && c < 0x800) || (length == 4 && c < 0x10000) || c > 0x10FFFF
            || (c >= 0xD800 && c <= 0xDFFF))
            return "not UTF-8";
        if (!isXmlChar(c))
            return "holds a character that XML does not allow";
        at += length;
    }
    return nullptr;
}

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6))).append(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12))).append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18))).append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F))).append(char(0x80 | (c & 0x3F)));
    }
}

// The value of a character reference's digits ("#38", "#x26"); 0 for none.
char32_t referencedChar(QByteArrayView digits, int base)
{
    if (digits.isEmpty() || digits.size() > 7)
        return 0;
    char32_t value = 0;
    for (char d : digits) {
        const int digit = d >= '0' && d <= '9'                 ? d - '0'
                          : base == 16 && d >= 'a' && d <= 'f' ? d - 'a' + 10
                          : base == 16 && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                                               : -1;
        if (digit < 0)
            return 0;
        value = value * base + char32_t(digit);
    }
    return isXmlChar(value) ? value : 0;
}

struct NamedEntity
{
    const char *name;
    char value;
};
constexpr NamedEntity Entities[]
    = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};

} // namespace

const char *FlatXml::read(QByteArrayView document, QByteArrayView root,
                          const std::function<bool(const Child &)> &child)
{
    m_in = document;
    m_pos = 0;
    m_error = nullptr;
    m_elements = 0;
    m_child = &child;
    if (next("\xEF\xBB\xBF"))
        m_pos += 3;
    skipBlanks();
    // Cheap refusals first: a document is markup from its first character on.
    if (atEnd())
        return "empty";
    if (m_in[m_pos] != '<')
        return "not XML";
    const qsizetype start = m_pos;
    if (const char *bad = checkCharacters(document, m_pos))
        return bad;
    m_pos = start;
    if (next("<?xml") && m_pos + 5 < m_in.size() && isBlank(m_in[m_pos + 5]) && !declaration())
        return m_error;
    if (!misc())
        return m_error;
    QByteArrayView name;
    bool empty = false;
    if (atEnd())
        return "truncated";
    const qsizetype rootAt = m_pos;
    if (!startTag(name, empty))
        return m_error;
    if (name != root)
        return "has another root element";
    m_pos = rootAt;
    if (!element(1, nullptr) || !misc())
        return m_error;
    return atEnd() ? nullptr : "malformed XML";
}

bool FlatXml::fail(const char *what)
{
    if (!m_error)
        m_error = what;
    return false;
}

void FlatXml::skipBlanks()
{
    while (!atEnd() && isBlank(m_in[m_pos]))
        ++m_pos;
}

bool FlatXml::name(QByteArrayView &out)
{
    const qsizetype from = m_pos;
    for (; !atEnd(); ++m_pos) {
        const uchar c = uchar(m_in[m_pos]);
        const bool first
            = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
        if (!first && (m_pos == from || !((c >= '0' && c <= '9') || c == '-' || c == '.')))
            break;
    }
    if (atEnd())
        return fail("truncated");
    if (m_pos == from)
        return fail("malformed XML");
    out = m_in.sliced(from, m_pos - from);
    return true;
}

bool FlatXml::skipTo(QByteArrayView end)
{
    const qsizetype found = m_in.indexOf(end, m_pos);
    if (found < 0) {
        m_pos = m_in.size();
        return fail("truncated");
    }
    m_pos = found + end.size();
    return true;
}

bool FlatXml::declaration()
{
    const qsizetype from = m_pos;
    if (!skipTo("?>"))
        return false;
    const QByteArrayView text = m_in.sliced(from, m_pos - from);
    const qsizetype encoding = text.indexOf("encoding");
    if (encoding < 0)
        return true;
    QByteArrayView value = text.sliced(encoding + 8).trimmed();
    if (value.startsWith('='))
        value = value.sliced(1).trimmed();
    if (value.size() >= 7 && (value[0] == '"' || value[0] == '\'')
        && value.sliced(1, 5).compare("utf-8", Qt::CaseInsensitive) == 0 && value[6] == value[0])
        return true;
    return fail("declares an encoding other than UTF-8");
}

bool FlatXml::misc()
{
    for (;;) {
        skipBlanks();
        if (!next("<!") && !next("<?"))
            return true;
        if (!markup())
            return false;
    }
}

bool FlatXml::markup()
{
    if (next("<!--")) {
        m_pos += 4;
        if (!skipTo("--"))
            return false;
        if (atEnd())
            return fail("truncated");
        return m_in[m_pos++] == '>' || fail("malformed XML");
    }
    if (next("<?")) {
        m_pos += 2;
        QByteArrayView target;
        if (!name(target))
            return false;
        if (target.compare("xml", Qt::CaseInsensitive) == 0)
            return fail("malformed XML");
        return skipTo("?>");
    }
    for (const char *dtd : {"<!DOCTYPE", "<!ENTITY", "<!ELEMENT", "<!ATTLIST", "<!NOTATION"}) {
        if (next(dtd))
            return fail("has a DTD");
    }
    return fail("malformed XML");
}

bool FlatXml::startTag(QByteArrayView &tag, bool &empty)
{
    ++m_pos; // '<'
    if (!name(tag))
        return false;
    for (;;) {
        const qsizetype before = m_pos;
        skipBlanks();
        if (atEnd())
            return fail("truncated");
        empty = next("/>");
        if (empty || m_in[m_pos] == '>') {
            m_pos += empty ? 2 : 1;
            return true;
        }
        QByteArrayView attribute;
        if (m_pos == before || !name(attribute))
            return fail("malformed XML");
        skipBlanks();
        if (atEnd() || m_in[m_pos] != '=')
            return fail(atEnd() ? "truncated" : "malformed XML");
        ++m_pos;
        skipBlanks();
        if (atEnd())
            return fail("truncated");
        const char quote = m_in[m_pos++];
        if (quote != '"' && quote != '\'')
            return fail("malformed XML");
        while (atEnd() || m_in[m_pos] != quote) {
            if (atEnd())
                return fail("truncated");
            if (m_in[m_pos] == '<')
                return fail("malformed XML");
            if (m_in[m_pos] != '&')
                ++m_pos;
            else if (!reference(false))
                return false;
        }
        ++m_pos;
    }
}

bool FlatXml::endTag(QByteArrayView tag)
{
    m_pos += 2; // "</"
    QByteArrayView closing;
    if (!name(closing))
        return false;
    skipBlanks();
    if (atEnd())
        return fail("truncated");
    return (closing == tag && m_in[m_pos++] == '>') || fail("malformed XML");
}

bool FlatXml::reference(bool keep)
{
    const qsizetype from = m_pos + 1;
    qsizetype end = from;
    while (end < m_in.size() && end - from <= 10 && m_in[end] != ';')
        ++end;
    if (end >= m_in.size()) {
        m_pos = m_in.size();
        return fail("truncated");
    }
    if (m_in[end] != ';')
        return fail("malformed XML");
    const QByteArrayView ref = m_in.sliced(from, end - from);
    char32_t c = 0;
    if (ref.startsWith('#')) {
        const bool hex = ref.startsWith("#x");
        c = referencedChar(ref.sliced(hex ? 2 : 1), hex ? 16 : 10);
        if (c == 0)
            return fail("refers to no character");
    } else {
        for (const NamedEntity &entity : Entities) {
            if (ref == entity.name)
                c = char32_t(entity.value);
        }
        if (c == 0)
            return fail("has an entity that XML does not define");
    }
    m_pos = end + 1;
    if (keep)
        appendUtf8(copiedText(), c);
    return true;
}

bool FlatXml::element(int depth, Child *record)
{
    QByteArrayView tag;
    bool empty = false;
    if (!startTag(tag, empty))
        return false;
    if (++m_elements > MaxElements)
        return fail("has too many elements");
    if (depth > MaxDepth)
        return fail("is nested too deep");
    if (record)
        record->name = tag;
    return empty || (content(depth, record) && endTag(tag));
}

bool FlatXml::content(int depth, Child *record)
{
    for (;;) {
        if (atEnd())
            return fail("truncated");
        const char c = m_in[m_pos];
        if (c == '&') {
            if (!reference(record != nullptr))
                return false;
        } else if (c != '<') {
            const qsizetype from = m_pos;
            while (!atEnd() && m_in[m_pos] != '<' && m_in[m_pos] != '&')
                ++m_pos;
            if (record)
                keepText(from, m_pos);
        } else if (next("</")) {
            return true;
        } else if (next("<![CDATA[")) {
            const qsizetype from = m_pos + 9;
            if (!skipTo("]]>"))
                return false;
            if (record)
                keepText(from, m_pos - 3);
        } else if (next("<!") || next("<?")) {
            if (!markup())
                return false;
        } else if (depth == 1) {
            if (!child())
                return false;
        } else {
            if (record)
                record->holdsElements = true;
            if (!element(depth + 1, nullptr))
                return false;
        }
    }
}

bool FlatXml::child()
{
    Child child;
    m_textFrom = m_textTo = -1;
    m_textCopied = false;
    if (!element(2, &child))
        return false;
    if (m_textCopied)
        child.text = m_text;
    else if (m_textFrom >= 0)
        child.text = m_in.sliced(m_textFrom, m_textTo - m_textFrom);
    return (*m_child)(child) || fail("");
}

void FlatXml::keepText(qsizetype from, qsizetype to)
{
    if (from == to)
        return;
    if (!m_textCopied && m_textFrom < 0) {
        m_textFrom = from;
        m_textTo = to;
        return;
    }
    copiedText().append(m_in.sliced(from, to - from));
}

QByteArray &FlatXml::copiedText()
{
    if (!m_textCopied) {
        m_text.resize(0);
        if (m_textFrom >= 0)
            m_text.append(m_in.sliced(m_textFrom, m_textTo - m_textFrom));
        m_textCopied = true;
    }
    return m_text;
}
