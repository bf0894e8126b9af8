// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The text of a private-profile (ini) file held in memory: sections "[name]" followed by
// "key=value" lines. Reading and writing a key behave as the Windows private-profile functions
// do; everything else in the text (unknown sections and keys, comments, blank lines, each line's
// ending, a missing final newline) is kept byte for byte.
//
// The text is 8-bit and never converted. A UTF-8 byte-order mark at its start is not part of the
// first line, and it stays. Section and key names match without regard to case (Latin-1
// folding); only the first section of a name and the first key of a name within it count. Lines
// need not be keys: a line without "=" is kept and ignored, so comments of any style survive.
class ProfileText
{
public:
    static constexpr QByteArrayView ByteOrderMark = "\xEF\xBB\xBF";

    // An empty text, with the platform's line ending for the lines it gains.
    ProfileText() : ProfileText(QByteArray()) { }
    explicit ProfileText(const QByteArray &bytes);

    // The value of `key` in `section`, or `defaultValue` when the section or the key is
    // missing. Blanks, tabs and carriage returns around the value are removed, then one pair of
    // matching quotes (' or ") enclosing the whole value, as the Windows function does. The
    // value is returned whole, however long; it ends before the first zero character, and so
    // does the default.
    QByteArray value(QByteArrayView section, QByteArrayView key, QByteArrayView defaultValue) const;

    // Whether `section` has `key`.
    bool contains(QByteArrayView section, QByteArrayView key) const;

    // Sets `key` in `section` to `value`. An existing value is replaced in place (the key's
    // spelling and the line's indentation stay); a new key goes after the last key line of its
    // section, a new section at the end of the text, after one blank line. Writing the value a
    // key already has changes nothing. Returns false, changing nothing, for what the format
    // cannot hold: an empty or padded section or key name, a section name with "]", a key name
    // with "=", or a line break or zero character in any of the three.
    bool setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value);

    const QByteArray &bytes() const { return m_bytes; }
    // The line ending used for new lines: the one the text already uses, else the platform's.
    QByteArray lineEnding() const { return m_eol; }

private:
    struct Location;
    Location locate(QByteArrayView section, QByteArrayView key) const;

    QByteArray m_bytes;
    QByteArray m_eol;
    qsizetype m_start = 0; // where the first line begins: after the byte-order mark
};
