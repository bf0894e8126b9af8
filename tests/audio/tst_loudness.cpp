// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/SoundFileSource.h"
#include "playback/audio/WavWriter.h"
#include "playback/loudness/LoudnessBook.h"
#include "tests/audio/TestSounds.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/TestFiles.h"

#include <QTest>

#include <cmath>

using namespace TestFiles;

// The loudness book without a sound server: each file measured once (a MIDI file on its
// rendering) and kept by its stamp in the cache file, a file changed since measured again, a cache
// that is damaged or cannot be written said once, and the one gain a message plays with.
class TestLoudness : public QObject
{
    Q_OBJECT

private slots:
    void keptByPathAndStamp();
    void badCacheMeasuredAgainSaidOnce_data();
    void badCacheMeasuredAgainSaidOnce();
    void oneGain_data();
    void oneGain();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

namespace {

constexpr int Rate = 44100;

// A 997 Hz tone: at amplitude 1 it measures -3.01 LUFS.
bool writeTone(const QString &file, double seconds, double amplitude)
{
    std::vector<float> samples(size_t(seconds * Rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(amplitude * std::sin(2 * M_PI * 997 * double(i) / Rate));
    QString error;
    return WavWriter::write(file, samples.data(), qsizetype(samples.size()), Rate, &error);
}

} // namespace

void TestLoudness::keptByPathAndStamp()
{
    const QString cache = path("kept/loudness");
    const QString tone = path("tone.wav");
    const QString tune = path("tune.mid");
    QVERIFY(writeTone(tone, 1, 0.1));
    using namespace TestSounds;
    put(tune, midiFile(96, midiEvent(0, 0x90, 60, 100) + midiEvent(192, 0x80, 60, 0)
                               + midiEndOfTrack(0)));
    {
        LoudnessBook book(cache);
        book.measureSoon({tone, tune});
        book.waitForIdle();
        QVERIFY(std::fabs(book.known(tone)->lufs + 23.01) < 0.05);
        QVERIFY2(book.known(tune) && !book.known(tune)->silent(), qPrintable(book.problem(tune)));
    }
    // The next run takes what the cache holds for the file as it is, without measuring it.
    QList<QByteArray> lines = contents(cache).split('\n');
    for (QByteArray &line : lines) {
        QList<QByteArray> fields = line.split('\t');
        if (line.endsWith("tone.wav") && fields.size() == 6)
            line = fields.mid(0, 2).join('\t') + "\t-33.3\t" + fields.mid(3).join('\t');
    }
    put(cache, lines.join('\n'));
    LoudnessBook book(cache);
    book.measureSoon({tone});
    book.waitForIdle();
    QCOMPARE(book.known(tone)->lufs, -33.3);
    // Changed behind the program's back: measured again.
    QVERIFY(writeTone(tone, 2, 0.1));
    QVERIFY(!book.known(tone));
    book.measureSoon({tone});
    book.waitForIdle();
    QVERIFY(std::fabs(book.known(tone)->lufs + 23.01) < 0.05);
}

void TestLoudness::badCacheMeasuredAgainSaidOnce_data()
{
    QTest::addColumn<QString>("cache");
    QTest::addColumn<QByteArray>("bytes"); // put there first, where not empty
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("damaged") << "damaged" << QByteArray("voicevocta loudness 1\n12\tx\n")
                             << QByteArray("cannot be used (line 2 is damaged)");
    QTest::newRow("another's") << "other" << QByteArray("\x89PNG") << QByteArray("cannot be used");
    // Its folder would be a file.
    QTest::newRow("unwritable") << "tone.wav/loudness" << QByteArray()
                                << QByteArray("Cannot keep the loudness of the messages");
}

void TestLoudness::badCacheMeasuredAgainSaidOnce()
{
    QFETCH(QString, cache);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, said);
    QVERIFY(writeTone(path("tone.wav"), 1, 0.1));
    QVERIFY(writeTone(path("other.wav"), 1, 0.2));
    if (!bytes.isEmpty())
        put(path(cache), bytes);
    StderrCapture lines;
    LoudnessBook book(path(cache));
    for (const QString &file : {path("tone.wav"), path("other.wav")}) {
        book.measureSoon({file});
        book.waitForIdle();
        QVERIFY(book.known(file));
    }
    const QByteArray told = lines.text();
    QVERIFY2(told.contains(said) && told.count('\n') == 1, told.constData());
}

void TestLoudness::oneGain_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("amplitude");
    QTest::addColumn<double>("target"); // NaN: none
    QTest::addColumn<double>("gainDb");
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("without a target") << 1.0 << 0.1 << double(NAN) << 0.0 << QByteArray();
    QTest::newRow("to the target") << 1.0 << 0.1 << -20.0 << 3.01 << QByteArray();
    QTest::newRow("200 ms, ungated") << 0.2 << 0.1 << -20.0 << 3.01 << QByteArray();
    QTest::newRow("at most 20 dB up")
        << 1.0 << 0.001 << -20.0 << 20.0 << QByteArray("it is raised by no more than 20 dB");
    QTest::newRow("digital silence")
        << 1.0 << 0.0 << -20.0 << 0.0 << QByteArray("is silent: it plays as recorded");
}

void TestLoudness::oneGain()
{
    QFETCH(double, seconds);
    QFETCH(double, amplitude);
    QFETCH(double, target);
    QFETCH(double, gainDb);
    QFETCH(QByteArray, said);
    const QString file = path(QTest::currentDataTag() + QStringLiteral(".wav"));
    QVERIFY(writeTone(file, seconds, amplitude));
    const std::vector<float> recorded = TestSounds::decode(file);
    LoudnessBook book(path("gain/loudness"));
    book.setTarget(std::isnan(target) ? std::nullopt : std::optional(target), -1);
    StderrCapture lines;
    for (int play = 0; play < 2; ++play) { // measured at the first, known at the second
        QString error;
        std::unique_ptr<AudioSource> opened = SoundFileSource::open(file, &error);
        const AudioSource *asOpened = opened.get();
        const std::unique_ptr<AudioSource> source = book.leveled(file, std::move(opened));
        QCOMPARE(source.get() == asOpened, std::isnan(target)); // as recorded: the file's own
        source->settle(std::atomic<bool>(false));
        std::vector<float> played(recorded.size());
        QCOMPARE(source->read(played.data(), qint64(played.size())), qint64(played.size()));
        // Every sample at one gain, the one expected.
        const size_t loudest
            = size_t(std::max_element(recorded.begin(), recorded.end()) - recorded.begin());
        const float gain = recorded[loudest] != 0 ? played[loudest] / recorded[loudest] : 1.0f;
        QVERIFY2(std::fabs(20 * std::log10(gain) - gainDb) < 0.1,
                 qPrintable(QString::number(gain)));
        for (size_t i = 0; i < played.size(); ++i)
            QVERIFY(std::fabs(played[i] - recorded[i] * gain) <= 1e-6f * std::fabs(played[i]));
    }
    const QByteArray told = lines.text();
    QVERIFY2(said.isEmpty() ? told.isEmpty() : told.contains(said) && told.count('\n') == 1,
             told.constData());
}

QTEST_GUILESS_MAIN(TestLoudness)
#include "tst_loudness.moc"
