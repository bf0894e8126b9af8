// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// How the station turns settings text into numbers and flags and back. Pure functions.
namespace TextRules {

// The numeric value of a text: the longest leading part that forms a number (optional sign,
// digits, one decimal point, an exponent introduced by E or D, or a prefix &H / &O followed by
// hexadecimal / octal digits). Blanks, tabs and line feeds anywhere inside that part are ignored.
// A text that does not start with a number gives 0. The result is always finite: a number too
// large for a double gives the largest double of its sign.
double numericValue(QByteArrayView text);
double numericValue(QStringView text);

// A number and nothing else: blanks and tabs around it, an optional sign, decimal digits and an
// optional decimal fraction ("42", " -5 ", "42.5"), rounded as roundHalfEven, when it lies in
// min..max. Nothing for any other text ("", "abc", "70%", "1e3", "0x10") or a number outside.
std::optional<int> wholeNumberIn(QByteArrayView text, int min, int max);

// Nearest integer, an exact half to the even neighbour (2.5 gives 2, 3.5 gives 4), clamped into
// the type's range; NaN gives 0.
double roundHalfEven(double value);
qint16 roundToInt16(double value);
qint32 roundToInt32(double value);

// "1" for true, "0" for false.
QString Bool2Txt(bool value);
// False only for exactly "0"; every other text, the empty one included, is true.
bool Txt2Bool(QStringView txt);
// The flag rule of the settings file: only the first character counts, through Txt2Bool.
// "0", "00" and "0abc" are false; "1", "true", "no" and "" are true.
bool flagValue(QByteArrayView text);

// Format "#####0": a whole number, an exact half rounded away from zero (1500.5 gives "1501",
// 1501.5 gives "1502"), no leading zeros, no blanks, a minus sign for negative results.
QString formatWhole(double value);
// Formats "###0.0" and "####0.0": one decimal (rounded half away from zero), at least one
// integer digit, no group separators, `decimalSeparator` between the whole part and the tenths.
QString formatOneDecimal(double value, QStringView decimalSeparator = u".");
// The tenths that formatOneDecimal shows for `value`: values with the same tenths show the same.
double tenthsOf(double value);
// Number to text: one blank before a number that is not negative, a minus sign otherwise, and no
// superfluous zeros (4.5 gives " 4.5", 10 gives " 10", -3 gives "-3", 0.5 gives " 0.5").
QString numberText(double value);

// Removes blanks at both ends; only the space character counts as a blank.
QByteArray trimBlanks(QByteArrayView text);
QString trimBlanks(QStringView text);

} // namespace TextRules
