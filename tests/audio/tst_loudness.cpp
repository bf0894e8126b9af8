// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseConnection.h"
#include "playback/audio/SoundDevice.h"
#include "playback/audio/SoundFileSource.h"
#include "playback/audio/WavWriter.h"
#include "playback/kit/KitMessages.h"
#include "playback/loudness/LoudnessBook.h"
#include "station/AppState.h"
#include "tests/audio/TestSounds.h"
#include "tests/support/MonitorCapture.h"
#include "tests/support/PrivateSoundServer.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

using namespace TestFiles;

// Messages at one loudness as a transmitter gets them, heard at a private sound server's sink and
// measured by the peer, ffmpeg's ebur128 filter; and the loudness book, its cache and the gain.
class TestLoudness : public QObject
{
    Q_OBJECT

private slots:
    void landsAtTheTarget_data();
    void landsAtTheTarget();
    void kitPartsAtOneLoudness();
    void keptByPathAndStamp();
    void badCacheMeasuredAgainSaidOnce_data();
    void badCacheMeasuredAgainSaidOnce();
    void oneGain_data();
    void oneGain();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Starts the server (once); why it or the peer is missing, else nothing.
    QString missing();
    // What the rig's sink played of `file`, at the book's loudness.
    void hear(const QString &file, std::vector<float> *sound);

    QTemporaryDir m_dir;
    PrivateSoundServer m_server;
    std::unique_ptr<PulseConnection> m_connection;
    LoudnessBook m_book{m_dir.filePath("cache/loudness")};
};

namespace {

constexpr int Rate = MonitorCapture::SampleRate; // the sink's own: nothing is resampled

bool write(const QString &file, const std::vector<float> &samples)
{
    return bool(WavWriter::write(file, samples.data(), qsizetype(samples.size()), Rate));
}

// A tone; at 997 Hz and amplitude 1 it measures -3.01 LUFS.
std::vector<float> tone(double hertz, double seconds, double amplitude)
{
    std::vector<float> samples(size_t(seconds * Rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(amplitude * std::sin(2 * M_PI * hertz * double(i) / Rate));
    return samples;
}

// What the peer measures of mono samples: integrated loudness (LUFS) and true peak (dBTP).
std::pair<double, double> peer(const std::vector<float> &samples, const QString &file)
{
    QProcess ffmpeg;
    if (write(file, samples))
        ffmpeg.start("ffmpeg", {"-nostats", "-hide_banner", "-i", file, "-af", "ebur128=peak=true",
                                "-f", "null", "-"});
    ffmpeg.waitForFinished(60000);
    const QString said = QString::fromUtf8(ffmpeg.readAllStandardError());
    const QString summary = said.mid(said.lastIndexOf(QLatin1String("Summary:")));
    const auto value = [&summary](const char *pattern) {
        const QRegularExpressionMatch match = QRegularExpression(pattern).match(summary);
        return match.hasMatch() ? match.captured(1).toDouble() : NAN;
    };
    return {value(R"(I:\s+(-?[\d.]+) LUFS)"), value(R"(Peak:\s+(-?[\d.]+) dBFS)")};
}

// A voice-like message: two tones in syllables of 0.2 s with pauses of 0.05 s, brought to `lufs`
// as the peer measures it.
std::vector<float> syllables(double lufs, const QString &scratch)
{
    std::vector<float> samples(size_t(3 * Rate));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / Rate;
        const double at = std::fmod(t, 0.25);
        samples[i]
            = float((at < 0.2 ? std::pow(std::sin(M_PI * at / 0.2), 2) : 0)
                    * (0.06 * std::sin(2 * M_PI * 300 * t) + 0.04 * std::sin(2 * M_PI * 1200 * t)));
    }
    const float gain = float(std::pow(10.0, (lufs - peer(samples, scratch).first) / 20));
    for (float &sample : samples)
        sample *= gain;
    return samples;
}

// The stretches of sound between silences of at least 20 ms.
std::vector<std::vector<float>> parts(const std::vector<float> &sound)
{
    const size_t gap = Rate / 50;
    std::vector<std::vector<float>> found(1);
    size_t zeros = 0;
    for (float sample : sound) {
        zeros = sample == 0 ? zeros + 1 : 0;
        if (zeros < gap) {
            found.back().push_back(sample);
        } else if (zeros == gap) {
            found.back().resize(found.back().size() - (gap - 1)); // its trailing silence
            found.emplace_back();
        }
    }
    return found;
}

} // namespace

QString TestLoudness::missing()
{
    QString error;
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
        return QStringLiteral("ffmpeg, the peer that measures the output, is not installed");
    if (!m_server.isRunning() && !m_server.start(&error))
        return QStringLiteral("No private PulseAudio server can start here: ") + error;
    if (!m_connection)
        m_connection = std::make_unique<PulseConnection>();
    const bool ready = QTest::qWaitFor(
        [this] { return m_connection->state() == PulseConnection::Ready; }, 30000);
    return ready ? QString() : QStringLiteral("The private sound server does not answer");
}

void TestLoudness::hear(const QString &file, std::vector<float> *sound)
{
    MonitorCapture rig(PrivateSoundServer::Rig + ".monitor");
    QString error;
    QVERIFY2(rig.start(&error), qPrintable(error));
    SoundDevice device(*m_connection);
    device.setLoudness(&m_book);
    device.setOutput(PrivateSoundServer::Rig);
    QCOMPARE(device.open(file), SoundPlayer::OpenResult::Opened);
    QSignalSpy done(&device, &SoundPlayer::finished);
    device.play();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 20000);
    QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Ended);
    QVERIFY(rig.catchUp());
    *sound = MonitorCapture::sound(rig.samples());
}

void TestLoudness::landsAtTheTarget_data()
{
    QTest::addColumn<double>("lufs"); // of the message
    QTest::addColumn<bool>("fullScale"); // with a 0 dBFS peak in a pause
    QTest::addColumn<double>("target"); // NaN: none
    QTest::addColumn<double>("expected"); // LUFS; NaN: sample for sample as recorded
    QTest::addColumn<QString>("said");
    QTest::newRow("at -32 LUFS") << -32.0 << false << -20.0 << -20.0 << "";
    QTest::newRow("at -12 LUFS, 0 dBFS peak") << -12.0 << true << -20.0 << -20.0 << "";
    QTest::newRow("its peak holds it below")
        << -32.0 << true << -16.0 << -33.0 << "LU below the target of -16 LUFS: its peaks";
    QTest::newRow("without a target") << -12.0 << true << double(NAN) << double(NAN) << "";
}

void TestLoudness::landsAtTheTarget()
{
    QFETCH(double, lufs);
    QFETCH(bool, fullScale);
    QFETCH(double, target);
    QFETCH(double, expected);
    QFETCH(QString, said);
    if (!missing().isEmpty())
        QSKIP(qPrintable(missing()));
    std::vector<float> message = syllables(lufs, path("scratch.wav"));
    if (fullScale)
        message[size_t(Rate * 0.225)] = 1.0f;
    const QString file = path(QTest::currentDataTag() + QStringLiteral(".wav"));
    QVERIFY(write(file, message));
    m_book.setTarget(std::isnan(target) ? std::nullopt : std::optional(target), -1);
    StderrCapture lines;
    std::vector<float> sound;
    hear(file, &sound);
    QVERIFY(!sound.empty());
    const QByteArray told = lines.text();
    QVERIFY2(said.isEmpty() ? told.isEmpty() : told.contains(said.toUtf8()), told.constData());
    if (std::isnan(expected)) {
        QVERIFY(
            MonitorCapture::heardAsSent(sound, MonitorCapture::sound(TestSounds::decode(file))));
        return;
    }
    const auto [heard, truePeak] = peer(sound, path("heard.wav"));
    QVERIFY2(std::fabs(heard - expected) <= 0.5 && truePeak <= -1 + 0.3,
             qPrintable(QStringLiteral("%1 LUFS, %2 dBTP").arg(heard).arg(truePeak)));
}

void TestLoudness::kitPartsAtOneLoudness()
{
    if (!missing().isEmpty())
        QSKIP(qPrintable(missing()));
    // Parts far apart in level and pitch; "1" shorter than the 400 ms gating block.
    const QString kit = path("kit");
    QVERIFY(QDir().mkpath(kit));
    QVERIFY(write(kit + "/a.wav", tone(440, 0.6, 0.02)));
    QVERIFY(write(kit + "/b.wav", tone(150, 0.5, 0.5)));
    QVERIFY(write(kit + "/1.wav", tone(3000, 0.25, 0.1)));
    AppState state;
    state.Kit.KitFolder = kit;
    state.Audio.AudioLoudness = -20;
    KitMessages texts(state, kit, m_dir.path());
    const KitMessages::Built built = texts.build("ab1");
    QVERIFY2(built.ok, qPrintable(built.error));
    m_book.setTarget(-20, -1);
    std::vector<float> sound;
    hear(built.path, &sound);
    QVERIFY(!sound.empty());
    // Each part measured by the peer, repeated past the gating block.
    std::vector<double> measured;
    for (const std::vector<float> &part : parts(sound)) {
        std::vector<float> repeated;
        while (repeated.size() < size_t(Rate * 1.2))
            repeated.insert(repeated.end(), part.begin(), part.end());
        measured.push_back(peer(repeated, path("part.wav")).first);
    }
    QCOMPARE(measured.size(), size_t(3));
    const auto [softest, loudest] = std::minmax_element(measured.begin(), measured.end());
    QVERIFY2(*loudest - *softest <= 1.0,
             qPrintable(QStringLiteral("%1 to %2 LUFS").arg(*softest).arg(*loudest)));
}
void TestLoudness::keptByPathAndStamp()
{
    const QString cache = path("kept/loudness");
    const QString wav = path("tone.wav");
    const QString tune = path("tune.mid");
    QVERIFY(write(wav, tone(997, 1, 0.1)));
    using namespace TestSounds;
    put(tune, midiFile(96, midiEvent(0, 0x90, 60, 100) + midiEvent(192, 0x80, 60, 0)
                               + midiEndOfTrack(0)));
    {
        LoudnessBook book(cache);
        book.measureSoon({wav, tune});
        book.waitForIdle();
        QVERIFY(std::fabs(book.known(wav)->lufs + 23.01) < 0.05);
        QVERIFY2(book.known(tune) && !book.known(tune)->silent(), qPrintable(book.problem(tune)));
    }
    // The next run takes what the cache holds for the file as it is, without measuring it.
    QString kept = QString::fromUtf8(contents(cache));
    kept.replace(QRegularExpression(R"(^(\d+\t\d+\t)[^\t]+(.*tone\.wav)$)",
                                    QRegularExpression::MultilineOption),
                 "\\1-33.3\\2");
    put(cache, kept.toUtf8());
    LoudnessBook book(cache);
    book.measureSoon({wav});
    book.waitForIdle();
    QCOMPARE(book.known(wav)->lufs, -33.3);
    // Changed behind the program's back: measured again.
    QVERIFY(write(wav, tone(997, 2, 0.1)));
    QVERIFY(!book.known(wav));
    book.measureSoon({wav});
    book.waitForIdle();
    QVERIFY(std::fabs(book.known(wav)->lufs + 23.01) < 0.05);
}

void TestLoudness::badCacheMeasuredAgainSaidOnce_data()
{
    QTest::addColumn<QString>("cache");
    QTest::addColumn<QByteArray>("bytes"); // put there first, where not empty
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("damaged") << "damaged" << QByteArray("voicevocta loudness 1\n12\tx\n")
                             << QByteArray("cannot be used (line 2 is damaged)");
    // Its folder would be a file.
    QTest::newRow("unwritable") << "tone.wav/loudness" << QByteArray()
                                << QByteArray("Cannot keep the loudness of the messages");
}

void TestLoudness::badCacheMeasuredAgainSaidOnce()
{
    QFETCH(QString, cache);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, said);
    QVERIFY(write(path("tone.wav"), tone(997, 1, 0.1)));
    QVERIFY(write(path("other.wav"), tone(997, 1, 0.2)));
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
    QVERIFY(write(file, tone(997, seconds, amplitude)));
    const std::vector<float> recorded = TestSounds::decode(file);
    LoudnessBook book(path("gain/loudness"));
    book.setTarget(std::isnan(target) ? std::nullopt : std::optional(target), -1);
    StderrCapture lines;
    for (int play = 0; play < 2; ++play) { // measured at the first, known at the second
        std::unique_ptr<AudioSource> opened = SoundFileSource::open(file).value;
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
