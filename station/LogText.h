// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

// Text from outside the program as a log line quotes it: a bus call's text or file name, a
// command line's argument, a name or value read from a settings file. Such text may hold line
// breaks, terminal escapes or megabytes; quoted, it stays on its one line and short.
namespace LogText {

// Quoted text longer than this is cut, and its length said.
constexpr qsizetype MaxQuoted = 300;

// `text` between two `quote` characters, with a backslash before the quote character and a
// backslash, control and format characters written as escapes ("\n", "\t", "\x1b", "\u202e"),
// cut after MaxQuoted characters: "abc..." (4194304 characters).
QString quoted(QStringView text, QChar quote = u'"');

} // namespace LogText
