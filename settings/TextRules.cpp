// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/TextRules.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace TextRules {

namespace {

// Significant digits kept of a decimal mantissa; the rest only move the decimal exponent.
constexpr int MaxMantissaDigits = 40;
// Beyond this an exponent gives zero or the largest double anyway.
constexpr long long MaxExponent = 100000;

bool isIgnored(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

double saturate(double value)
{
    if (std::isnan(value))
        return 0.0;
    if (value > DBL_MAX)
        return DBL_MAX;
    if (value < -DBL_MAX)
        return -DBL_MAX;
    return value == 0.0 ? 0.0 : value; // no negative zero
}

class Scanner
{
public:
    explicit Scanner(QByteArrayView text) : m_text(text) { }

    // The next character that counts, or 0 at the end.
    char peek()
    {
        while (m_pos < m_text.size() && isIgnored(m_text[m_pos]))
            ++m_pos;
        return m_pos < m_text.size() ? m_text[m_pos] : '\0';
    }
    void advance() { ++m_pos; }
    qsizetype position() const { return m_pos; }
    void rewind(qsizetype position) { m_pos = position; }

private:
    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

double radixValue(Scanner &scan, int base)
{
    double value = 0;
    for (;;) {
        const int digit = digitValue(scan.peek());
        if (digit >= base)
            break;
        value = value * base + digit;
        scan.advance();
    }
    return value;
}

double decimalValue(Scanner &scan)
{
    bool negative = false;
    if (scan.peek() == '+' || scan.peek() == '-') {
        negative = scan.peek() == '-';
        scan.advance();
    }

    QByteArray digits; // significant digits, without leading zeros
    long long exponent = 0; // power of ten to apply to `digits`
    bool anyDigit = false;
    bool point = false;
    for (;;) {
        const char c = scan.peek();
        if (isDigit(c)) {
            anyDigit = true;
            if (digits.size() < MaxMantissaDigits && (c != '0' || !digits.isEmpty())) {
                digits += c;
                if (point)
                    --exponent;
            } else if (c == '0' && digits.isEmpty()) {
                if (point)
                    --exponent;
            } else if (!point) {
                ++exponent; // a digit beyond the kept ones, before the point
            }
            scan.advance();
        } else if (c == '.' && !point) {
            point = true;
            scan.advance();
        } else {
            break;
        }
    }
    if (!anyDigit || digits.isEmpty())
        return 0.0;

    const char e = scan.peek();
    if (e == 'e' || e == 'E' || e == 'd' || e == 'D') {
        const qsizetype mark = scan.position();
        scan.advance();
        bool negativeExponent = false;
        if (scan.peek() == '+' || scan.peek() == '-') {
            negativeExponent = scan.peek() == '-';
            scan.advance();
        }
        if (isDigit(scan.peek())) {
            long long given = 0;
            while (isDigit(scan.peek())) {
                given = std::min(MaxExponent, given * 10 + (scan.peek() - '0'));
                scan.advance();
            }
            exponent += negativeExponent ? -given : given;
        } else {
            scan.rewind(mark); // "1e" is the number 1
        }
    }
    exponent = std::clamp(exponent, -MaxExponent, MaxExponent);

    const QByteArray plain = digits + 'e' + QByteArray::number(exponent);
    const double value = std::strtod(plain.constData(), nullptr);
    return negative ? -value : value;
}

double roundHalfAway(double value)
{
    return std::round(value);
}

} // namespace

double numericValue(QByteArrayView text)
{
    Scanner scan(text);
    if (scan.peek() == '&') {
        scan.advance();
        const char prefix = scan.peek();
        int base = 0;
        if (prefix == 'h' || prefix == 'H')
            base = 16;
        else if (prefix == 'o' || prefix == 'O')
            base = 8;
        if (base == 0)
            return 0.0;
        scan.advance();
        return saturate(radixValue(scan, base));
    }
    return saturate(decimalValue(scan));
}

double numericValue(QStringView text)
{
    // Characters outside Latin-1 become '?', which is no part of a number either.
    return numericValue(QByteArrayView(text.toLatin1()));
}

double roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    double rounded = std::round(value);
    if (std::fabs(rounded - value) == 0.5)
        rounded = 2.0 * std::round(value / 2.0);
    return rounded == 0.0 ? 0.0 : rounded;
}

qint16 roundToInt16(double value)
{
    if (std::isnan(value))
        return 0;
    return qint16(std::clamp(roundHalfEven(value), -32768.0, 32767.0));
}

qint32 roundToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    return qint32(std::clamp(roundHalfEven(value), -2147483648.0, 2147483647.0));
}

QString Bool2Txt(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

bool Txt2Bool(QStringView txt)
{
    return txt != u"0";
}

bool flagValue(QByteArrayView text)
{
    return Txt2Bool(QString::fromLatin1(text.first(std::min<qsizetype>(1, text.size()))));
}

QString formatWhole(double value)
{
    const double rounded = saturate(roundHalfAway(saturate(value)));
    return QString::number(rounded, 'f', 0);
}

double tenthsOf(double value)
{
    return roundHalfAway(saturate(saturate(value) * 10.0));
}

QString formatOneDecimal(double value, QStringView decimalSeparator)
{
    const double tenths = tenthsOf(value);
    QString text = QString::number(saturate(tenths / 10.0), 'f', 1);
    // The tenths are always the last digit, after the one point.
    return text.replace(text.size() - 2, 1, decimalSeparator.toString());
}

QString numberText(double value)
{
    const double shown = saturate(value);
    const QString digits = QString::number(shown, 'g', 15);
    return shown < 0 ? digits : QLatin1Char(' ') + digits;
}

QByteArray trimBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    return text.sliced(begin, end - begin).toByteArray();
}

QString trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin).toString();
}

std::optional<int> wholeNumberIn(QByteArrayView text, int min, int max)
{
    const QByteArrayView number = text.trimmed();
    qsizetype i = 0;
    if (i < number.size() && (number[i] == '+' || number[i] == '-'))
        ++i;
    const qsizetype digitsFrom = i;
    while (i < number.size() && number[i] >= '0' && number[i] <= '9')
        ++i;
    if (i == digitsFrom)
        return std::nullopt;
    if (i < number.size() && number[i] == '.') {
        ++i;
        while (i < number.size() && number[i] >= '0' && number[i] <= '9')
            ++i;
    }
    if (i != number.size())
        return std::nullopt;
    bool ok = false;
    const double value = roundHalfEven(number.toByteArray().toDouble(&ok));
    if (!ok || value < min || value > max)
        return std::nullopt;
    return int(value);
}

} // namespace TextRules
