// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/kit/KitText.h"

#include "station/LogText.h"

#include <QRegularExpression>

#include <algorithm>

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
            // "[" alone is unbalanced too: both brackets are needed before taking them off.
            const bool closed = written.size() >= 2 && written.endsWith(u']');
            const QString name
                = closed ? written.toLower().sliced(1, written.size() - 2) : QString();
            if (!isWordName(name)) {
                addOnce(plan.unspeakable, LogText::quoted(written, u'\''));
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
                    addOnce(plan.unspeakable, LogText::quoted(QString(c), u'\''));
                else
                    word.spelled.append(file);
            }
        }
        plan.words.append(word);
    }
    // Punctuation alone ("/", "/ /") says nothing: no letter, digit or word of the kit.
    const bool sayable = std::any_of(plan.words.cbegin(), plan.words.cend(), [](const Word &w) {
        return w.call.isEmpty()
               || std::any_of(w.spelled.cbegin(), w.spelled.cend(),
                              [](const QString &file) { return file != u"slash.wav"; });
    });
    if (!sayable)
        plan.words.clear();
    return plan;
}
