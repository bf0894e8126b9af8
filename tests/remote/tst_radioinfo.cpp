// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/Bands.h"
#include "remote/RadioInfo.h"

#include <QTest>

// RadioInfo datagrams as N1MM Logger+ describes them: what is sent, what is read, and every kind of
// datagram that is refused; the amateur bands at their edges.
class TestRadioInfo : public QObject
{
    Q_OBJECT

private slots:
    void encodedAsTheLoggersDo();
    void readLeniently();
    void refused_data();
    void refused();
    void bandEdges();
};

namespace {

// The example of the format's description; `from` replaced by `to` when given.
QByteArray example(const QByteArray &from = {}, const QByteArray &to = {})
{
    QByteArray datagram(
        R"(<?xml version="1.0" encoding="utf-8"?><RadioInfo><app>N1MM</app><StationName>RUN1</StationName><RadioNr>1</RadioNr><Freq>1420500</Freq><TXFreq>1420500</TXFreq><Mode>USB</Mode><OpCall>DL1ABC</OpCall><IsRunning>True</IsRunning><FocusEntry>0</FocusEntry><EntryWindowHwnd>0</EntryWindowHwnd><Antenna>0</Antenna><Rotors></Rotors><FocusRadioNr>1</FocusRadioNr><IsStereo>False</IsStereo><IsSplit>False</IsSplit><ActiveRadioNr>1</ActiveRadioNr><IsTransmitting>True</IsTransmitting><FunctionKeyCaption>F1 CQ</FunctionKeyCaption><RadioName>IC-7300</RadioName><AuxAntSelected>-1</AuxAntSelected><AuxAntSelectedName></AuxAntSelectedName><IsConnected>True</IsConnected></RadioInfo>)");
    if (!from.isEmpty())
        datagram.replace(from, to);
    return datagram;
}

} // namespace

void TestRadioInfo::encodedAsTheLoggersDo()
{
    RadioInfo info;
    info.app = "N1MM";
    info.StationName = "RUN1";
    info.Freq = info.TXFreq = RadioInfo::tenHz(14'205'004);
    info.Mode = "USB";
    info.OpCall = "DL1ABC";
    info.IsTransmitting = info.IsConnected = true;
    info.FunctionKeyCaption = "F1 CQ";
    info.RadioName = "IC-7300";
    QCOMPARE(info.encode(), example());
    QCOMPARE(RadioInfo::decode(example()).value, info);

    // Text goes out escaped and comes back whole; what XML cannot hold is left out.
    info.StationName = "<OZ&Ø's \"1\">";
    info.FunctionKeyCaption = QString("CQ\x01 test");
    const QByteArray datagram = info.encode();
    QVERIFY(datagram.contains("<StationName>&lt;OZ&amp;Ø&apos;s &quot;1&quot;&gt;</StationName>"));
    info.FunctionKeyCaption = "CQ test";
    QCOMPARE(RadioInfo::decode(datagram).value, info);
}

void TestRadioInfo::readLeniently()
{
    // Booleans in any case, elements of other programs, an element left out, blanks and comments
    // between the elements, a byte order mark, CDATA and references, an empty element.
    const QByteArray datagram = "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\n<!-- hi -->\n"
                                "<RadioInfo version=\"2\">\n  <StationName>S&amp;P<![CDATA[<2>]]>"
                                "&#x41;</StationName>\n  <Extra><Inner>1</Inner></Extra>\n"
                                "  <RadioNr> 2 </RadioNr><IsRunning>false</IsRunning>"
                                "<Rotors/><IsTransmitting>TRUE</IsTransmitting>\n</RadioInfo>\n";
    const ResultOf<RadioInfo> info = RadioInfo::decode(datagram);
    QVERIFY2(info, qPrintable(info.error));
    QCOMPARE(info.value.StationName, QString("S&P<2>A"));
    QCOMPARE(info.value.RadioNr, 2);
    QCOMPARE(info.value.Freq, qint64(0)); // unknown
    QVERIFY(info.value.IsTransmitting && !info.value.IsRunning);
}

void TestRadioInfo::refused_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("reason");
    const QByteArray head = R"(<?xml version="1.0" encoding="utf-8"?>)";
    QTest::newRow("huge") << example("<Rotors>", QByteArray(65536, ' ') + "<Rotors>")
                          << "larger than 64 kB";
    QTest::newRow("empty") << QByteArray(" \n") << "empty";
    QTest::newRow("truncated") << example().left(300) << "truncated";
    QTest::newRow("cut in a reference")
        << example("USB", "U&amp;").left(example().indexOf("USB") + 4) << "truncated";
    QTest::newRow("not XML") << QByteArray("\x00\x01RadioInfo", 11) << "not XML";
    QTest::newRow("not UTF-8") << example("RUN1", "RUN\xFF") << "not UTF-8";
    QTest::newRow("overlong UTF-8") << example("RUN1", "RUN\xC0\xAF") << "not UTF-8";
    QTest::newRow("surrogate") << example("RUN1", "\xED\xA0\x80") << "not UTF-8";
    QTest::newRow("control character") << example("RUN1", "RUN\x01") << "does not allow";
    QTest::newRow("other encoding") << example("utf-8", "utf-16") << "encoding other than UTF-8";
    QTest::newRow("end tag") << example("</Mode>", "</Mod>") << "malformed XML";
    QTest::newRow("after the root") << example() + "<RadioInfo/>"
                                    << "malformed XML";
    QTest::newRow("attribute") << example("<Mode>", "<Mode a=b>") << "malformed XML";
    QTest::newRow("DTD")
        << example(head, head + R"(<!DOCTYPE r [<!ENTITY x "&#60;">]>)").replace("RUN1", "&x;")
        << "has a DTD";
    QTest::newRow("entity") << example("RUN1", "&x;") << "entity that XML does not define";
    QTest::newRow("character zero") << example("RUN1", "&#0;") << "refers to no character";
    QTest::newRow("root") << example().replace("RadioInfo>", "Radio>") << "another root element";
    QTest::newRow("no StationName")
        << example("<StationName>RUN1</StationName>", "") << "no StationName";
    QTest::newRow("empty StationName") << example("RUN1", " ") << "StationName is empty";
    QTest::newRow("no RadioNr") << example("<RadioNr>1</RadioNr>", "") << "no RadioNr";
    QTest::newRow("no IsTransmitting")
        << example("<IsTransmitting>True</IsTransmitting>", "") << "no IsTransmitting";
    QTest::newRow("not a boolean")
        << example(">True</IsT", ">yes</IsT") << "IsTransmitting is not True or False";
    QTest::newRow("huge Freq") << example("<Freq>1420500", "<Freq>100000000001")
                               << "Freq is not a whole number";
    QTest::newRow("negative Freq") << example("<Freq>1420500", "<Freq>-1") << "Freq is not";
    QTest::newRow("RadioNr") << example("<RadioNr>1", "<RadioNr>1e3") << "RadioNr is not";
    QTest::newRow("twice") << example("<Mode>", "<StationName>X</StationName><Mode>")
                           << "StationName twice";
    QTest::newRow("nested") << example("<Freq>1420500", "<Freq><a/>1") << "Freq holds elements";
    QTest::newRow("deep") << example("<Rotors>", QByteArray("<a>").repeated(20) + "<Rotors>")
                          << "nested too deep";
    QTest::newRow("many") << example("<Rotors>", QByteArray("<a/>").repeated(600) + "<Rotors>")
                          << "too many elements";
    QTest::newRow("long text") << example("DL1ABC", QByteArray(300, 'A')) << "OpCall is too long";
}

void TestRadioInfo::refused()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, reason);
    const ResultOf<RadioInfo> info = RadioInfo::decode(datagram);
    QVERIFY(!info);
    QVERIFY2(info.error.contains(reason), qPrintable(info.error));
}

void TestRadioInfo::bandEdges()
{
    QCOMPARE(Bands::bandOf(14'000'000)->name, "20m");
    QCOMPARE(Bands::bandOf(14'350'000)->name, "20m");
    QVERIFY(!Bands::bandOf(14'350'001) && !Bands::bandOf(13'999'999) && !Bands::bandOf(0));
    QCOMPARE(Bands::bandOf(1'800'000)->name, "160m");
    QCOMPARE(Bands::bandOf(450'000'000)->name, "70cm");
    QCOMPARE(Bands::bandOf(18'068'000)->name, "17m");
    QVERIFY(Bands::sameBand(14'000'000, 14'350'000));
    QVERIFY(!Bands::sameBand(14'200'000, 21'200'000));
    QVERIFY(!Bands::sameBand(50'000'000, 144'000'000));
    // Unknown, or outside every band: on every band.
    QVERIFY(Bands::sameBand(0, 7'100'000) && Bands::sameBand(7'100'000, 0));
    QVERIFY(Bands::sameBand(15'000'000, 7'100'000));
}

QTEST_MAIN(TestRadioInfo)
#include "tst_radioinfo.moc"
