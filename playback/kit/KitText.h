// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// How a text is spoken from a voice kit: which recordings make it, by their names in the kit
// folder. Pure functions.
//
// A text is split into words at white space. A word in brackets is a recording of its own
// ("[cq]" is "cq.wav", "[59]" is "59.wav"; its name is letters, digits, '-' and '_'). Any other
// word is a whole-call recording when the kit has one ("DL1ABC" is "calls/dl1abc.wav",
// "DL1ABC/P" is "calls/dl1abc-p.wav"), else spelled: one recording per character ("a.wav" ...
// "z.wav", "0.wav" ... "9.wav", "slash.wav" for '/'). Letters count alike in either case. A text
// without a letter, a digit or a bracketed word ("", "/", "/ /") has no words to speak.
namespace KitText {

// Longer texts are refused before anything is looked up.
constexpr int MaxCharacters = 1000;

struct Word
{
    QString call; // the whole-call recording to use when it exists; empty for a bracketed word
    QStringList spelled; // the recordings otherwise, in order
};

struct Plan
{
    QList<Word> words;
    // What no recording can stand for: each character, or bracketed word, quoted as written
    // ("'?'", "'[c q'"), once each, in order.
    QStringList unspeakable;
};

Plan plan(const QString &text);

// The recording of one character; empty when none can exist.
QString characterFile(QChar character);

} // namespace KitText
