// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/OtrspBox.h"
#include "ptt/OtrspKeyer.h"
#include "tests/support/PseudoTerminal.h"

#include <QLoggingCategory>
#include <QTest>

#include <termios.h>

using Result = OtrspBox::TxResult;

namespace {

QStringList said; // what the box logged, its traces included

qsizetype saidCount(const QString &part)
{
    return std::count_if(said.begin(), said.end(), [&](auto &line) { return line.contains(part); });
}

// A box opened on a pseudo-terminal, and the box's end of it: all that the program sent so far,
// and the box's answers.
struct OnPty
{
    explicit OnPty(int replyTimeoutMs = 1000)
    {
        box.setDevice(pty->name());
        box.setReplyTimeoutMs(replyTimeoutMs);
        QVERIFY(box.open());
    }
    QByteArray read()
    {
        char buffer[256];
        ::fcntl(pty->master(), F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = ::read(pty->master(), buffer, sizeof buffer)) > 0;)
            got.append(buffer, n);
        return got;
    }
    void say(const QByteArray &text)
    {
        QVERIFY(::write(pty->master(), text.data(), text.size()) == text.size());
    }
    // Holds what the program writes (XOFF), or lets it through (XON).
    void hold(bool on)
    {
        termios attributes;
        ::tcgetattr(pty->master(), &attributes);
        attributes.c_iflag |= IXON;
        ::tcsetattr(pty->master(), TCSANOW, &attributes);
        say(on ? "\x13" : "\x11");
    }
    std::unique_ptr<PseudoTerminal> pty = std::make_unique<PseudoTerminal>();
    OtrspBox box;
    QByteArray got;
};

} // namespace

// The OTRSP box on a pseudo-terminal whose other end the test reads and answers.
class TestOtrspBox : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        said.clear();
        QLoggingCategory::setFilterRules("voicevocta.ptt.debug=true");
        qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &m) { said << m; });
    }
    void commandsInOrder();
    void boxThatGoesAway();
    void answersLateOrGarbled();
    void pathsThatAreNoBox();
};

void TestOtrspBox::commandsInOrder()
{
    OnPty end;
    OtrspBox &box = end.box;
    QTRY_COMPARE(end.read(), "?NAME\r");
    end.say("NAMESO2RDuino\r\n");
    QTRY_COMPARE(box.name(), "SO2RDuino");
    QCOMPARE(box.statusText(), QString("OTRSP box \"SO2RDuino\" on \"%1\"").arg(end.pty->name()));

    // The transmit focus is done once its command has left: not while the other end holds it.
    QList<Result> results;
    QByteArray atDone;
    const auto record = [&](Result result) {
        results << result, atDone = end.read();
    };
    end.hold(true);
    box.selectTx(2, record);
    box.selectRx(1, true);
    QTest::qWait(100);
    QVERIFY(results.isEmpty());
    end.hold(false);
    QTRY_COMPARE(results, QList{Result::Selected});
    QVERIFY(atDone.startsWith("?NAME\rTX2\r"));

    // While a radio is keyed the focus stays: asked for the other one, nothing is sent.
    bool keyed = true;
    box.setKeyedCheck([&] { return keyed; });
    QVERIFY(box.maySelectTx(2) && !box.maySelectTx(1) && !box.maySelectTx(3));
    for (int radio : {1, 2, 3})
        box.selectTx(radio, record);
    QTRY_COMPARE(results.size(), 4);
    QCOMPARE(results.mid(1), (QList{Result::Refused, Result::Selected, Result::Refused}));
    keyed = false;
    QVERIFY(box.selectRx(2, false) && !box.selectRx(0, false));
    QTRY_COMPARE(end.read(), "?NAME\rTX2\rRX1S\rRX2\r");
    QCOMPARE(saidCount("is not sent to the OTRSP box"), 3);

    // A command that cannot leave in time is dropped, never sent late.
    end.hold(true);
    box.selectTx(1, record);
    QTRY_COMPARE(results.size(), 5);
    QCOMPARE(results.last(), Result::Failed);
    end.hold(false);
    box.selectRx(2, true);
    QTRY_COMPARE(end.read(), "?NAME\rTX2\rRX1S\rRX2\rRX2S\r");
}

// The box goes with a command on its way: the keying goes on without it, said once.
void TestOtrspBox::boxThatGoesAway()
{
    OnPty end;
    OtrspBox &box = end.box;
    QList<Result> results;
    const auto record = [&](Result result) {
        results << result;
    };
    end.hold(true);
    box.selectTx(1, record);
    end.pty.reset();
    QTRY_COMPARE(box.state(), OtrspBox::State::Gone);
    box.selectTx(2, record);
    QVERIFY(!box.selectRx(2, false));
    QTRY_COMPARE(results, (QList{Result::WithoutBox, Result::WithoutBox}));
    QTest::qWait(100);
    QCOMPARE(saidCount("went away"), 1);
    // Asked again, it opens where a box is. (Not on the name that went: another program's
    // pseudo-terminal may have it by now.)
    PseudoTerminal other;
    box.setDevice(other.name());
    OtrspKeyer keyer(box);
    keyer.open();
    QVERIFY(keyer.isReady());

    // Keying through the box's DTR (which a pseudo-terminal lacks: it counts as keyed) keeps the
    // transmit focus; the box closed, nothing is keyed.
    keyer.setOnAir(true);
    QVERIFY(keyer.mayBeKeyed() && !box.maySelectTx(1));
    box.close();
    QVERIFY(!keyer.isReady() && !keyer.mayBeKeyed());
}

void TestOtrspBox::answersLateOrGarbled()
{
    OnPty end(50);
    OtrspBox &box = end.box;
    QTRY_VERIFY(box.statusText().endsWith("does not say its name: it may not be an OTRSP box"));
    QTRY_COMPARE(end.read(), "?NAME\r?NAME\r"); // asked twice

    // A late answer is dropped: it does not answer the next question, which gets noise, an event
    // and a line without end: the status says so, and the box goes on working.
    end.say("NAMElate\r");
    QTRY_COMPARE(saidCount("from the OTRSP box: \"NAMElate\""), 1);
    box.setReplyTimeoutMs(1000);
    box.askName();
    QTRY_COMPARE(end.read().count("?NAME\r"), 3);
    end.say("$TX1\r\x01\x02garble\r\n" + QByteArray(4000, 'x'));
    QTRY_VERIFY(box.statusText().endsWith("an OTRSP box (it said \"\\x01\\x02garble\")"));
    QVERIFY(box.name().isEmpty());
    QVERIFY(box.selectRx(1, false));
    QTRY_VERIFY(end.read().endsWith("RX1\r"));
}

void TestOtrspBox::pathsThatAreNoBox()
{
    const QString absent = "/dev/voicevocta-absent",
                  program = QCoreApplication::applicationFilePath();
    for (const QString &path : {program, QString("/"), QString("/dev/null"), absent, QString()}) {
        OtrspBox box;
        box.setDevice(path);
        QVERIFY(!box.open());
        const QString status = path.isEmpty()   ? "No OTRSP box"
                               : path == absent ? "is not present"
                                                : "is not a serial device: no OTRSP box is used";
        QVERIFY2(box.statusText().endsWith(status), qPrintable(box.statusText()));
        QList<Result> results;
        box.selectTx(1, [&](Result result) { results << result; });
        QVERIFY(!box.selectRx(1, false));
        QTRY_COMPARE(results, QList{Result::WithoutBox});
    }
    QCOMPARE(saidCount("OTRSP"), 4);
}

QTEST_GUILESS_MAIN(TestOtrspBox)
#include "tst_otrspbox.moc"
