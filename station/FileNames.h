// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

class QFile;

// File names as the system keeps them: bytes, not text. Qt turns a name's bytes into text as
// UTF-8 and loses every byte that is not part of valid UTF-8 (a Latin-1 name copied from another
// system, say), so the station carries names through this codec instead: valid UTF-8 reads as its
// characters, and each other byte b (0x80..0xFF) as the lone low surrogate U+DC00 + b, which turns
// back into that byte. Every name survives decode and encode byte for byte.
namespace FileNames {

QString decode(QByteArrayView bytes);
// The inverse of decode. A lone surrogate that decode never gives (a high one, or a low one below
// U+DC80) becomes U+FFFD.
QByteArray encode(QStringView name);

// Opens the file `name` names (by its encoded bytes) for reading. Only a regular file is opened:
// a named pipe or a device is refused without opening it, since that may wait forever. A failure
// says why ("no such file", "not a regular file", or the system's reason).
Result openForReading(QFile &file, const QString &name);

} // namespace FileNames
