// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/TextRules.h"

#include <QTest>
#include <cfloat>
#include <cmath>
#include <limits>

using namespace TextRules;

class TestTextRules : public QObject
{
    Q_OBJECT

private slots:
    void numericValueOfText_data();
    void numericValueOfText();
    void numericValueOfHugeInput();
    void roundingInto16And32Bits_data();
    void roundingInto16And32Bits();
    void flagRule_data();
    void flagRule();
    void boolConverters();
    void wholeNumberFormat_data();
    void wholeNumberFormat();
    void oneDecimalFormat_data();
    void oneDecimalFormat();
    void numberToText_data();
    void numberToText();
    void trimmingBlanks_data();
    void trimmingBlanks();
};

void TestTextRules::numericValueOfText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("digits then letters") << QByteArray("3abc") << 3.0;
    QTest::newRow("letters") << QByteArray("abc") << 0.0;
    QTest::newRow("empty") << QByteArray() << 0.0;
    QTest::newRow("decimal") << QByteArray("2.5") << 2.5;
    QTest::newRow("hex") << QByteArray("&H10") << 16.0;
    QTest::newRow("hex lower case") << QByteArray("&hff") << 255.0;
    QTest::newRow("octal") << QByteArray("&O17") << 15.0;
    QTest::newRow("hex stops at non-digit") << QByteArray("&H1G") << 1.0;
    QTest::newRow("octal stops at 8") << QByteArray("&O78") << 7.0;
    QTest::newRow("ampersand alone") << QByteArray("&") << 0.0;
    QTest::newRow("ampersand other letter") << QByteArray("&B101") << 0.0;
    QTest::newRow("hex without digits") << QByteArray("&H") << 0.0;
    QTest::newRow("blanks inside") << QByteArray(" 1 2 ") << 12.0;
    QTest::newRow("tabs and line feeds inside") << QByteArray("\t1\n2\t.5") << 12.5;
    QTest::newRow("carriage return stops") << QByteArray("1\r2") << 1.0;
    QTest::newRow("delay") << QByteArray("1500.7") << 1500.7;
    QTest::newRow("exponent E") << QByteArray("1e3") << 1000.0;
    QTest::newRow("exponent D") << QByteArray("1d2") << 100.0;
    QTest::newRow("exponent negative") << QByteArray("25E-1") << 2.5;
    QTest::newRow("exponent with blanks") << QByteArray("1 e + 2") << 100.0;
    QTest::newRow("exponent without digits") << QByteArray("7e") << 7.0;
    QTest::newRow("exponent sign only") << QByteArray("7e+x") << 7.0;
    QTest::newRow("minus") << QByteArray("-3") << -3.0;
    QTest::newRow("plus") << QByteArray("+3") << 3.0;
    QTest::newRow("minus blank digits") << QByteArray("- 4") << -4.0;
    QTest::newRow("two signs") << QByteArray("--4") << 0.0;
    QTest::newRow("sign alone") << QByteArray("-") << 0.0;
    QTest::newRow("leading point") << QByteArray(".5") << 0.5;
    QTest::newRow("point alone") << QByteArray(".") << 0.0;
    QTest::newRow("second point stops") << QByteArray("1.2.3") << 1.2;
    QTest::newRow("comma stops") << QByteArray("1,5") << 1.0;
    QTest::newRow("C hex is not hex") << QByteArray("0x10") << 0.0;
    QTest::newRow("leading zeros") << QByteArray("0007") << 7.0;
    QTest::newRow("zero") << QByteArray("0") << 0.0;
    QTest::newRow("negative zero") << QByteArray("-0") << 0.0;
    QTest::newRow("zero character stops") << QByteArray("12\0"
                                                        "3",
                                                        4)
                                          << 12.0;
    QTest::newRow("many digits") << QByteArray(60, '1') + "e-59" << 1.1111111111111111;
    QTest::newRow("many fraction zeros") << "0." + QByteArray(400, '0') + "5e400" << 0.5;
    QTest::newRow("overflow") << QByteArray("1e400") << DBL_MAX;
    QTest::newRow("negative overflow") << QByteArray("-1e99999999999") << -DBL_MAX;
    QTest::newRow("underflow") << QByteArray("1e-400") << 0.0;
    QTest::newRow("exponent of zero") << QByteArray("0e999") << 0.0;
}

void TestTextRules::numericValueOfText()
{
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    const double value = numericValue(text);
    QCOMPARE(value, expected);
    QVERIFY(!std::signbit(value) || value < 0);
    QCOMPARE(numericValue(QString::fromLatin1(text)), expected);
}

void TestTextRules::numericValueOfHugeInput()
{
    // A megabyte of digits must neither hang nor lose finiteness.
    const QByteArray digits(1 << 20, '9');
    QCOMPARE(numericValue(digits), DBL_MAX);
    QCOMPARE(numericValue("&H" + QByteArray(1 << 20, 'F')), DBL_MAX);
    QCOMPARE(numericValue("0." + digits), 1.0);
}

void TestTextRules::roundingInto16And32Bits_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("int16");
    QTest::addColumn<qint32>("int32");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("2.5 to even") << 2.5 << 2 << 2;
    QTest::newRow("3.5 to even") << 3.5 << 4 << 4;
    QTest::newRow("12.5") << 12.5 << 12 << 12;
    QTest::newRow("13.5") << 13.5 << 14 << 14;
    QTest::newRow("-2.5") << -2.5 << -2 << -2;
    QTest::newRow("-3.5") << -3.5 << -4 << -4;
    QTest::newRow("below half") << 2.49 << 2 << 2;
    QTest::newRow("above half") << 2.51 << 3 << 3;
    QTest::newRow("-0.4") << -0.4 << 0 << 0;
    QTest::newRow("16-bit top") << 32767.0 << 32767 << 32767;
    QTest::newRow("16-bit top half") << 32767.5 << 32767 << 32768;
    QTest::newRow("70000") << 70000.0 << 32767 << 70000;
    QTest::newRow("-70000") << -70000.0 << -32768 << -70000;
    QTest::newRow("32-bit overflow") << 3e9 << 32767 << std::numeric_limits<qint32>::max();
    QTest::newRow("32-bit underflow") << -3e9 << -32768 << std::numeric_limits<qint32>::min();
    QTest::newRow("inf") << inf << 32767 << std::numeric_limits<qint32>::max();
    QTest::newRow("-inf") << -inf << -32768 << std::numeric_limits<qint32>::min();
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 0 << 0;
}

void TestTextRules::roundingInto16And32Bits()
{
    QFETCH(double, value);
    QFETCH(int, int16);
    QFETCH(qint32, int32);
    QCOMPARE(int(roundToInt16(value)), int16);
    QCOMPARE(roundToInt32(value), int32);
}

void TestTextRules::flagRule_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("00") << QByteArray("00") << false;
    QTest::newRow("0abc") << QByteArray("0abc") << false;
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("true") << QByteArray("true") << true;
    QTest::newRow("false") << QByteArray("false") << true;
    QTest::newRow("no") << QByteArray("no") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("blank then 0") << QByteArray(" 0") << true;
    QTest::newRow("zero character") << QByteArray("\0", 1) << true;
}

void TestTextRules::flagRule()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, expected);
    QCOMPARE(flagValue(text), expected);
}

void TestTextRules::boolConverters()
{
    QCOMPARE(Bool2Txt(true), QStringLiteral("1"));
    QCOMPARE(Bool2Txt(false), QStringLiteral("0"));
    QVERIFY(!Txt2Bool(u"0"));
    QVERIFY(Txt2Bool(u"00"));
    QVERIFY(Txt2Bool(u""));
    QVERIFY(Txt2Bool(u" 0"));
    QVERIFY(Txt2Bool(u"O"));
}

void TestTextRules::wholeNumberFormat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("4500") << 4500.0 << "4500";
    QTest::newRow("1500.7") << 1500.7 << "1501";
    QTest::newRow("1500.5 away from zero") << 1500.5 << "1501";
    QTest::newRow("1501.5 away from zero") << 1501.5 << "1502";
    QTest::newRow("1500.4") << 1500.4 << "1500";
    QTest::newRow("-1500.5") << -1500.5 << "-1501";
    QTest::newRow("0") << 0.0 << "0";
    QTest::newRow("-0.4 has no minus") << -0.4 << "0";
    QTest::newRow("0.5") << 0.5 << "1";
    QTest::newRow("large") << 1e15 << "1000000000000000";
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "0";
}

void TestTextRules::wholeNumberFormat()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(formatWhole(value), expected);
}

void TestTextRules::oneDecimalFormat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("4.5") << 4.5 << "4.5";
    QTest::newRow("10") << 10.0 << "10.0";
    QTest::newRow("0") << 0.0 << "0.0";
    QTest::newRow("1.1") << 1.1 << "1.1";
    QTest::newRow("0.04") << 0.04 << "0.0";
    QTest::newRow("0.05 away from zero") << 0.05 << "0.1";
    QTest::newRow("0.25 away from zero") << 0.25 << "0.3";
    QTest::newRow("-0.04 has no minus") << -0.04 << "0.0";
    QTest::newRow("no group separator") << 12345.67 << "12345.7";
    QTest::newRow("-2.25") << -2.25 << "-2.3";
}

void TestTextRules::oneDecimalFormat()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(formatOneDecimal(value), expected);
    // Another decimal separator takes the point's place, and only that.
    QCOMPARE(formatOneDecimal(value, u","), QString(expected).replace('.', ','));
}

void TestTextRules::numberToText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("4.5") << 4.5 << " 4.5";
    QTest::newRow("10") << 10.0 << " 10";
    QTest::newRow("-3") << -3.0 << "-3";
    QTest::newRow("0") << 0.0 << " 0";
    QTest::newRow("0.5") << 0.5 << " 0.5";
    QTest::newRow("memory 6") << 6.0 << " 6";
    QTest::newRow("one tenth") << 0.1 << " 0.1";
}

void TestTextRules::numberToText()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(numberText(value), expected);
}

void TestTextRules::trimmingBlanks_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("both ends") << QByteArray("  a b  ") << QByteArray("a b");
    QTest::newRow("tabs are no blanks") << QByteArray("\ta\t") << QByteArray("\ta\t");
    QTest::newRow("only blanks") << QByteArray("   ") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestTextRules::trimmingBlanks()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(trimBlanks(text), expected);
    QCOMPARE(trimBlanks(QString::fromLatin1(text)), QString::fromLatin1(expected));
}

QTEST_APPLESS_MAIN(TestTextRules)
#include "tst_textrules.moc"
