// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/fuzz/ProfileFuzz.h"

#include "settings/ProfileText.h"
#include "settings/TextRules.h"
#include "station/FileNames.h"

#include <QByteArray>
#include <QList>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void broken(const char *rule, const QByteArray &input)
{
    std::fprintf(stderr, "fuzz: rule broken: %s\ninput (%lld bytes, hex): %s\n", rule,
                 static_cast<long long>(input.size()), input.left(512).toHex().constData());
    std::abort();
}

#define FUZZ_CHECK(condition, input) \
    do { \
        if (!(condition)) \
            broken(#condition, input); \
    } while (false)

const QList<QByteArray> Sections{"A", "a", "COM", "com", "MEMORY_1", "x y"};
const QList<QByteArray> Keys{"k", "K", "Num", "NUM", "FileName", "a b"};
const QList<QByteArray> Values{"",
                               "1",
                               "0",
                               "x y",
                               "\"q\"",
                               " pad ",
                               "[S]",
                               "a=b",
                               "'",
                               "\"a'",
                               "&H1F",
                               "-2.5e1",
                               QByteArray(300, 'v'),
                               "\n",
                               QByteArray("a\0b", 3),
                               "c\rd"};

bool sameName(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// What reading returns for a value written as `value`.
QByteArray asRead(const QByteArray &value)
{
    QByteArray text = value.trimmed();
    if (text.size() > 1 && (text.front() == '"' || text.front() == '\'')
        && text.back() == text.front())
        text = text.sliced(1, text.size() - 2);
    return text;
}

void checkNumbers(const QByteArray &text)
{
    const double value = TextRules::numericValue(text);
    FUZZ_CHECK(std::isfinite(value), text);
    FUZZ_CHECK(value != 0.0 || !std::signbit(value), text);
    const qint16 small = TextRules::roundToInt16(value);
    const qint32 large = TextRules::roundToInt32(value);
    FUZZ_CHECK(std::fabs(value) > 32767.5 || std::fabs(small - value) <= 0.5, text);
    FUZZ_CHECK(std::fabs(value) > 2147483647.5 || std::fabs(large - value) <= 0.5, text);
    if (std::fabs(value) < 1e15) {
        const QString whole = TextRules::formatWhole(value);
        FUZZ_CHECK(TextRules::numericValue(QStringView(whole)) == std::round(value), text);
        const QString tenths = TextRules::formatOneDecimal(value);
        FUZZ_CHECK(tenths.indexOf(u'.') == tenths.size() - 2, text);
        const double tolerance = 0.05 + std::fabs(value) * 1e-14; // a tenth's half, and ulps
        FUZZ_CHECK(std::fabs(TextRules::numericValue(QStringView(tenths)) - value) <= tolerance,
                   text);
    }
    (void)TextRules::numberText(value);
    (void)TextRules::flagValue(text);
}

} // namespace

void fuzzProfileOnce(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    checkNumbers(input);
    // A file name's bytes survive the codec, whatever they are.
    FUZZ_CHECK(FileNames::encode(FileNames::decode(input)) == input, input);
    if (input.size() < 3)
        return;

    const QByteArray &section = Sections[quint8(input[0]) % Sections.size()];
    const QByteArray &key = Keys[quint8(input[1]) % Keys.size()];
    const QByteArray &value = Values[quint8(input[2]) % Values.size()];
    const QByteArray fileBytes = input.sliced(3);

    ProfileText text(fileBytes);
    FUZZ_CHECK(text.bytes() == fileBytes, input);

    QList<QByteArray> before;
    for (const QByteArray &s : Sections) {
        for (const QByteArray &k : Keys) {
            const QByteArray read = text.value(s, k, "\x01");
            FUZZ_CHECK(!read.contains('\0'), input);
            checkNumbers(read);
            before.append(read);
        }
    }

    const bool accepted = text.setValue(section, key, value);
    const bool storable = !value.contains('\n') && !value.contains('\r') && !value.contains('\0');
    FUZZ_CHECK(accepted == storable, input);
    if (!accepted) {
        FUZZ_CHECK(text.bytes() == fileBytes, input);
        return;
    }
    FUZZ_CHECK(text.value(section, key, "\x01") == asRead(value), input);

    // Every other key reads as before, and the text before the edit is kept around it.
    qsizetype n = 0;
    for (const QByteArray &s : Sections) {
        for (const QByteArray &k : Keys) {
            if (!(sameName(s, section) && sameName(k, key)))
                FUZZ_CHECK(text.value(s, k, "\x01") == before[n], input);
            ++n;
        }
    }
    // A new key is a pure insertion: the old text is all there, around the new lines.
    FUZZ_CHECK(text.contains(section, key), input);
    if (!ProfileText(fileBytes).contains(section, key)) {
        const QByteArray &now = text.bytes();
        qsizetype prefix = 0;
        while (prefix < fileBytes.size() && now[prefix] == fileBytes[prefix])
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < fileBytes.size() - prefix
               && now[now.size() - 1 - suffix] == fileBytes[fileBytes.size() - 1 - suffix])
            ++suffix;
        FUZZ_CHECK(prefix + suffix == fileBytes.size(), input);
    }

    // Writing the same value again changes nothing.
    const QByteArray once = text.bytes();
    FUZZ_CHECK(text.setValue(section, key, value), input);
    FUZZ_CHECK(text.bytes() == once, input);

    // A UTF-8 byte-order mark before the text changes nothing but itself, read or written.
    if (!fileBytes.startsWith(ProfileText::ByteOrderMark)) {
        ProfileText marked(ProfileText::ByteOrderMark.toByteArray() + fileBytes);
        n = 0;
        for (const QByteArray &s : Sections) {
            for (const QByteArray &k : Keys)
                FUZZ_CHECK(marked.value(s, k, "\x01") == before[n++], input);
        }
        FUZZ_CHECK(marked.setValue(section, key, value), input);
        FUZZ_CHECK(marked.bytes() == ProfileText::ByteOrderMark.toByteArray() + once, input);
    }
}
