// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/kit/KitText.h"

#include <QRegularExpression>

namespace {

bool isKitLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

bool isWordName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (QChar c : name) {
        if (!isKitLetter(c) && c != u'-' && c != u'_')
            return false;
    }
    return true;
}

QString quoted(const QString &what)
{
    return QLatin1Char('\'') + what + QLatin1Char('\'');
}

void addOnce(QStringList &list, const QString &entry)
{
    if (!list.contains(entry))
        list.append(entry);
}

} // namespace

QString KitText::characterFile(QChar character)
{
    const QChar c = character.toLower();
    if (c.unicode() < 0x80 && isKitLetter(c))
        return QString(c) + QLatin1String(".wav");
    if (c == u'/')
        return QStringLiteral("slash.wav");
    return QString();
}

KitText::Plan KitText::plan(const QString &text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    Plan plan;
    for (const QString &written : text.split(blanks, Qt::SkipEmptyParts)) {
        Word word;
        if (written.startsWith(u'[')) {
            const QString name = written.toLower().mid(1).chopped(1);
            if (!written.endsWith(u']') || !isWordName(name)) {
                addOnce(plan.unspeakable, quoted(written));
                continue;
            }
            word.spelled.append(name + QLatin1String(".wav"));
        } else {
            QString call = written.toLower();
            call.replace(u'/', u'-');
            word.call = QLatin1String("calls/") + call + QLatin1String(".wav");
            for (QChar c : written) {
                const QString file = characterFile(c);
                if (file.isEmpty())
                    addOnce(plan.unspeakable, quoted(QString(c)));
                else
                    word.spelled.append(file);
            }
        }
        plan.words.append(word);
    }
    return plan;
}
