// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/LogText.h"

#include <QTest>

// Text from outside as a log line quotes it: one line, no terminal escapes, a few hundred
// characters at most, with the length of what was cut (never through a character of two halves).
class TestLogText : public QObject
{
    Q_OBJECT

private slots:
    void quoted_data();
    void quoted()
    {
        QFETCH(QString, text);
        QTEST(LogText::quoted(text), "said");
    }
};

void TestLogText::quoted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("said");
    const QString cut(LogText::MaxQuoted - 1, 'x');
    QTest::newRow("controls") << "a\nb\r\tc\x1b[2J\x7f"
                              << "\"a\\nb\\r\\tc\\x1b[2J\\x7f\"";
    QTest::newRow("quotes") << "say \"x\\y\""
                            << "\"say \\\"x\\\\y\\\"\"";
    QTest::newRow("format") << QString::fromUtf8("a\u202eb\u2028c\u00e9") + QChar(0xd83d)
                            << QString::fromUtf8("\"a\\u202eb\\u2028c\u00e9\\ud83d\"");
    QTest::newRow("4 MB") << QString(4 << 20, 'x') << "\"" + cut + "x...\" (4194304 characters)";
    QTest::newRow("cut at a pair")
        << cut + QString::fromUtf8("\U0001F4FB") << "\"" + cut + "...\" (301 characters)";
}

QTEST_APPLESS_MAIN(TestLogText)
#include "tst_logtext.moc"
