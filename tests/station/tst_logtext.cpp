// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/LogText.h"

#include <QTest>

// Text from outside as a log line quotes it: one line, no terminal escapes, a few hundred
// characters at most, with the length of what was cut.
class TestLogText : public QObject
{
    Q_OBJECT

private slots:
    void quoted_data();
    void quoted();
};

void TestLogText::quoted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("said");
    QTest::newRow("plain") << "DL1ABC /tmp/cq.wav"
                           << "\"DL1ABC /tmp/cq.wav\"";
    QTest::newRow("line breaks, tab, escape") << "a\nb\r\tc\x1b[2Jd\x7f"
                                              << "\"a\\nb\\r\\tc\\x1b[2Jd\\x7f\"";
    QTest::newRow("quotes and backslashes") << "say \"x\\y\""
                                            << "\"say \\\"x\\\\y\\\"\"";
    QTest::newRow("direction and line separator")
        << QString::fromUtf8("a\u202eb\u2028c\u00e9")
        << QString::fromUtf8("\"a\\u202eb\\u2028c\u00e9\"");
    QTest::newRow("a lone half") << QString(QChar(0xd83d)) + "x"
                                 << "\"\\ud83dx\"";
    QTest::newRow("4 MB") << QString(4 << 20, 'x')
                          << "\"" + QString(LogText::MaxQuoted, 'x') + "...\" (4194304 characters)";
    // Cut before a character of two halves, never through it.
    const QString emoji = QString::fromUtf8("\U0001F4FB");
    QTest::newRow("cut at a pair")
        << QString(LogText::MaxQuoted - 1, 'x') + emoji
        << "\"" + QString(LogText::MaxQuoted - 1, 'x') + "...\" ("
               + QString::number(LogText::MaxQuoted + 1) + " characters)";
}

void TestLogText::quoted()
{
    QFETCH(QString, text);
    QFETCH(QString, said);
    QCOMPARE(LogText::quoted(text), said);
}

QTEST_APPLESS_MAIN(TestLogText)
#include "tst_logtext.moc"
