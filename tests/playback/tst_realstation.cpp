// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/SoundDevice.h"
#include "tests/audio/TestSounds.h"
#include "tests/support/StationFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <sndfile.h>

using namespace TestSounds;

// The whole station on the real sound device: what a click sends out, and the repeat cycle in
// real time. SDL's disk driver (or its dummy driver) stands in for the sound card.
class TestRealStation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void memorySendsExactlyItsFile();
    void repeatCycleRunsInRealTime();
    void namesThatAreNotUtf8Play();

private:
    QString m_diskFile;
};

namespace {
// RTS keys the transmitter; the port is open, so every level reaches the (fake) wire.
void keyThroughRts(StationFixture &f)
{
    f.state().Ptt.RtsOn = true;
    f.state().Ptt.RtsPos = true;
    f.state().Ptt.ComNum = 1;
    f.station->serialKeyer().open();
    QVERIFY(f.lines.isOpen());
}
} // namespace

void TestRealStation::initTestCase()
{
    m_diskFile = qEnvironmentVariable("SDL_DISKAUDIOFILE");
    QVERIFY2(!m_diskFile.isEmpty(), "SDL_DISKAUDIOFILE must name the disk driver's file");
}

void TestRealStation::memorySendsExactlyItsFile()
{
    qputenv("SDL_AUDIODRIVER", "disk");
    QFile::remove(m_diskFile);
    std::vector<float> expected;
    {
        auto device = std::make_unique<SoundDevice>();
        StationFixture f(*device);
        keyThroughRts(f);
        const QString file = f.state().Memories.MemFile[0];
        QCOMPARE(file, f.programDir() + "/Wav/1.wav");
        expected = decode(file);
        QVERIFY(!expected.empty());

        f.clickMemory(0);
        QCOMPARE(f.now().playing(), 1);
        QTRY_VERIFY(f.lines.wireRts); // once its output is ready, before its sound

        // The window returns to idle by itself when the message has gone out.
        QTRY_VERIFY_WITH_TIMEOUT(f.now().playing() == 0, 15000);
        QCOMPARE(f.face(f.memory(0)), 3);
        QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
        QVERIFY(!f.lines.wireRts);
        f.station.reset();
        device.reset(); // the disk file is complete once the device has gone
    }
    const std::vector<float> written = readFloats(m_diskFile);
    // Exactly the file's samples, after the silence that comes before the first one.
    auto first = std::find_if(written.begin(), written.end(), [](float s) { return s != 0.0f; });
    QVERIFY(first != written.end());
    const qsizetype lead = first - written.begin();
    const auto firstExpected
        = std::find_if(expected.begin(), expected.end(), [](float s) { return s != 0.0f; });
    const qsizetype skip = firstExpected - expected.begin();
    QVERIFY(written.size() - lead >= expected.size() - skip);
    QVERIFY(std::equal(expected.begin() + skip, expected.end(), first));
    // Nothing but silence after it.
    QVERIFY(std::all_of(first + (expected.end() - (expected.begin() + skip)), written.end(),
                        [](float s) { return s == 0.0f; }));
}

void TestRealStation::repeatCycleRunsInRealTime()
{
    qputenv("SDL_AUDIODRIVER", "dummy");
    QTemporaryDir sounds;
    const QString second = sounds.filePath("second.wav");
    QVERIFY(writeWav(second, 22050, 1, 22050, SF_FORMAT_PCM_16)); // 1 s

    SoundDevice device;
    StationFixture f(device);
    keyThroughRts(f);
    QSignalSpy done(&device, &SoundPlayer::finished);
    f.state().Memories.MemFile[0] = second;
    f.state().Memories.MemDelay[0] = 200;
    f.window().Check3d1(0)->setChecked(true);

    QElapsedTimer clock;
    clock.start();
    f.clickMemory(0);
    // 1 s on, 0.2 s off, three times: never sooner than the sound takes (a busy machine may
    // take longer).
    QTRY_VERIFY_WITH_TIMEOUT(done.count() >= 3, 60000);
    QVERIFY2(clock.elapsed() >= 3 * 1000 + 2 * 200 - 50,
             qPrintable(QString::number(clock.elapsed())));
    for (const QList<QVariant> &args : done)
        QCOMPARE(args.at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Ended);
    QCOMPARE(f.now().playing(), 1);

    // A click ends the cycle at once: released, idle, and nothing more arrives.
    f.clickMemory(0);
    QCOMPARE(f.now().playing(), 0);
    QVERIFY(!f.lines.wireRts);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    const qsizetype ended = done.count();
    const QStringList wire = f.lines.wire;
    QTest::qWait(1500);
    QVERIFY(done.count() <= ended + 1); // at most the stop's own notification
    QCOMPARE(f.lines.wire.mid(0, wire.size()), wire);
    QVERIFY(!f.lines.wireRts);
    QCOMPARE(f.now().playing(), 0);
    QVERIFY(device.mode() != SoundPlayer::Mode::Playing);
}

void TestRealStation::namesThatAreNotUtf8Play()
{
    // Sound files whose names are bytes that are not UTF-8, given in the settings file.
    qputenv("SDL_AUDIODRIVER", "dummy");
    SoundDevice device;
    StationFixture f(device, false);
    const QByteArray folder = QFile::encodeName(f.programDir());
    const QList<QByteArray> names{folder + "/caf\xE9.wav", folder + "/\xFF\xFE.wav"};
    auto remove = qScopeGuard([&] { // QTemporaryDir cannot remove them
        for (const QByteArray &name : names)
            std::remove(name.constData());
    });
    QByteArray settings;
    for (int i = 0; i < names.size(); ++i) {
        const QString made = f.programDir() + "/made.wav";
        QVERIFY(writeWav(made, 8000, 1, 1600, SF_FORMAT_PCM_16)); // 0.2 s
        QVERIFY(std::rename(QFile::encodeName(made).constData(), names[i].constData()) == 0);
        settings += "[MEMORY_" + QByteArray::number(i + 1) + "]\nFileName=" + names[i] + "\n";
    }
    const QString ini = f.programDir() + "/vocta.ini";
    QVERIFY(writeBytes(ini, settings));
    f.station->Form_Load();
    keyThroughRts(f);

    QSignalSpy done(&device, &SoundPlayer::finished);
    for (int i = 0; i < names.size(); ++i) {
        f.clickMemory(i);
        QCOMPARE(f.now().playing(), 1);
        QTRY_VERIFY(f.lines.wireRts);
        QTRY_VERIFY_WITH_TIMEOUT(f.now().playing() == 0, 10000);
        QCOMPARE(done.last().at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Ended);
        QVERIFY(!f.lines.wireRts);
    }
    // Saved as they were read.
    f.window().menuItem(QStringLiteral("Exit"))->trigger();
    QFile saved(ini);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    for (const QByteArray &name : names)
        QVERIFY2(text.contains("\nFileName=" + name + "\n"), text.constData());
}

QTEST_MAIN(TestRealStation)
#include "tst_realstation.moc"
