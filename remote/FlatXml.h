// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// A strict reader of a small XML document from outside the program (a datagram): one root
// element whose child elements hold text, as RadioInfo is. It reads UTF-8 only, never a DTD, and
// knows no entities but XML's own five and character references, so that no input can make it
// fetch, expand or allocate beyond the document's own size. Anything else that is not well-formed
// XML is refused with a short reason.
//
// Accepted around and between the elements: an XML declaration (its encoding, when named, UTF-8),
// a byte order mark, comments, processing instructions, blanks; attributes are read and ignored,
// CDATA sections are text. At most MaxDepth levels and MaxElements elements.
class FlatXml
{
public:
    static constexpr int MaxDepth = 16;
    static constexpr int MaxElements = 512;

    // An element directly inside the root. `text` is its text with the references replaced (valid
    // until the next call); `holdsElements` says that elements are nested in it (their text is
    // not part of `text`).
    struct Child
    {
        QByteArrayView name;
        QByteArrayView text;
        bool holdsElements = false;
    };

    // Reads `document`, whose root element must be named `root`, calling `child` for each element
    // directly inside the root, in order; `child` returns false to stop. Returns null when the
    // document was read whole and no call stopped it, else what is wrong with it ("truncated",
    // "has a DTD", "not UTF-8" ...; empty when a call stopped it).
    const char *read(QByteArrayView document, QByteArrayView root,
                     const std::function<bool(const Child &)> &child);
    // The byte where reading stopped.
    qsizetype at() const { return m_pos; }

private:
    bool fail(const char *what);
    bool atEnd() const { return m_pos >= m_in.size(); }
    bool next(QByteArrayView text) const { return m_in.sliced(m_pos).startsWith(text); }
    void skipBlanks();
    bool name(QByteArrayView &out);
    bool skipTo(QByteArrayView end);
    bool declaration();
    bool misc();
    bool markup();
    bool startTag(QByteArrayView &name, bool &empty);
    bool endTag(QByteArrayView name);
    bool reference(bool keep);
    bool element(int depth, Child *record);
    bool content(int depth, Child *record);
    bool child();
    void keepText(qsizetype from, qsizetype to);
    QByteArray &copiedText();

    QByteArrayView m_in;
    qsizetype m_pos = 0;
    const char *m_error = nullptr;
    int m_elements = 0;
    const std::function<bool(const Child &)> *m_child = nullptr;
    // The text of the child being read: a part of the input while it is one piece, else copied.
    qsizetype m_textFrom = -1;
    qsizetype m_textTo = -1;
    bool m_textCopied = false;
    QByteArray m_text;
};
