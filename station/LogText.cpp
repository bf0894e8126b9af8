// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/LogText.h"

#include <algorithm>

namespace {

// Characters that move the cursor, change a terminal's state or the direction of the text, or
// end a line in some reader, and halves of characters.
bool needsEscape(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

void appendEscaped(QString &out, QChar c)
{
    switch (c.unicode()) {
    case u'\n':
        out += QLatin1String("\\n");
        return;
    case u'\r':
        out += QLatin1String("\\r");
        return;
    case u'\t':
        out += QLatin1String("\\t");
        return;
    default:
        break;
    }
    if (c.unicode() < 0x100)
        out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    else
        out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
}

} // namespace

QString LogText::quoted(QStringView text, QChar quote)
{
    qsizetype shown = std::min(text.size(), MaxQuoted);
    // A character of two halves is shown whole or not at all.
    if (shown < text.size() && shown > 0 && text[shown - 1].isHighSurrogate()
        && text[shown].isLowSurrogate())
        --shown;
    QString out;
    out.reserve(shown + 32);
    out += quote;
    for (qsizetype i = 0; i < shown; ++i) {
        const QChar c = text[i];
        const bool pair
            = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (pair) {
            out += c;
            out += text[++i];
        } else if (c == quote || c == u'\\') {
            out += QLatin1Char('\\');
            out += c;
        } else if (needsEscape(c)) {
            appendEscaped(out, c);
        } else {
            out += c;
        }
    }
    if (shown < text.size())
        return out + QLatin1String("...") + quote
               + QStringLiteral(" (%1 characters)").arg(text.size());
    return out + quote;
}
