// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseConnection.h"
#include "playback/audio/SoundDevice.h"
#include "playback/kit/KitMessages.h"
#include "playback/loudness/LoudnessBook.h"
#include "station/AppState.h"
#include "tests/audio/PeerLoudness.h"
#include "tests/audio/TestSounds.h"
#include "tests/support/MonitorCapture.h"
#include "tests/support/PrivateSoundServer.h"
#include "tests/support/StderrCapture.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

// Messages at one loudness as the transmitter gets them: played on a sound server of the test's
// own (its null sink "rig"), heard at the sink's monitor and measured there by the peer, ffmpeg's
// ebur128 filter.
class TestLoudnessOutput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void landsAtTheTarget_data();
    void landsAtTheTarget();
    void kitPartsAtOneLoudness();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // What the rig's sink played of `file`, at the book's loudness.
    void hear(const QString &file, std::vector<float> *sound);

    QTemporaryDir m_dir;
    PrivateSoundServer m_server;
    std::unique_ptr<PulseConnection> m_connection;
    std::unique_ptr<LoudnessBook> m_book;
};

namespace {

constexpr int Rate = MonitorCapture::SampleRate; // the sink's own: nothing is resampled

bool writeTone(const QString &file, double hertz, double seconds, double amplitude)
{
    std::vector<float> samples(size_t(seconds * Rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(amplitude * std::sin(2 * M_PI * hertz * double(i) / Rate));
    QString error;
    return WavWriter::write(file, samples.data(), qsizetype(samples.size()), Rate, &error);
}

// The stretches of sound between silences of at least 20 ms.
std::vector<std::vector<float>> parts(const std::vector<float> &sound)
{
    const size_t gap = Rate / 50;
    std::vector<std::vector<float>> found;
    std::vector<float> part;
    size_t zeros = 0;
    const auto close = [&] {
        part.resize(part.size() - std::min(zeros, part.size()));
        if (!part.empty())
            found.push_back(part);
        part.clear();
    };
    for (float sample : sound) {
        zeros = sample == 0 ? zeros + 1 : 0;
        if (zeros > gap)
            continue;
        part.push_back(sample);
        if (zeros == gap)
            close();
    }
    close();
    return found;
}

} // namespace

void TestLoudnessOutput::initTestCase()
{
    if (!PeerLoudness::available())
        QSKIP("ffmpeg, the peer that measures the output, is not installed");
    QString error;
    if (!m_server.start(&error))
        QSKIP(qPrintable("No private PulseAudio server can start here: " + error));
    m_connection = std::make_unique<PulseConnection>();
    QTRY_COMPARE_WITH_TIMEOUT(m_connection->state(), PulseConnection::Ready, 30000);
    m_book = std::make_unique<LoudnessBook>(path("cache/loudness"));

    // A message at -32 LUFS; one at -12 LUFS with a 0 dBFS peak in a pause; the quiet one with
    // that peak.
    std::vector<float> quiet = PeerLoudness::syllables(3, Rate, -32, path("scratch.wav"));
    std::vector<float> loud = PeerLoudness::syllables(3, Rate, -12, path("scratch.wav"));
    loud[size_t(Rate * 0.225)] = 1.0f;
    QVERIFY(
        WavWriter::write(path("quiet.wav"), quiet.data(), qsizetype(quiet.size()), Rate, &error));
    QVERIFY(WavWriter::write(path("loud.wav"), loud.data(), qsizetype(loud.size()), Rate, &error));
    quiet[size_t(Rate * 0.225)] = 1.0f;
    QVERIFY(
        WavWriter::write(path("peaky.wav"), quiet.data(), qsizetype(quiet.size()), Rate, &error));
}

void TestLoudnessOutput::hear(const QString &file, std::vector<float> *sound)
{
    MonitorCapture rig(PrivateSoundServer::Rig + ".monitor");
    QString error;
    QVERIFY2(rig.start(&error), qPrintable(error));
    SoundDevice device(*m_connection);
    device.setLoudness(m_book.get());
    device.setOutput(PrivateSoundServer::Rig);
    QCOMPARE(device.open(file), SoundPlayer::OpenResult::Opened);
    QSignalSpy done(&device, &SoundPlayer::finished);
    device.play();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 20000);
    QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Ended);
    QVERIFY(rig.catchUp());
    *sound = MonitorCapture::sound(rig.samples());
}

void TestLoudnessOutput::landsAtTheTarget_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("target"); // NaN: none
    QTest::addColumn<double>("ceiling");
    QTest::addColumn<double>("expected"); // LUFS; NaN: sample for sample as recorded
    QTest::addColumn<QString>("said");
    QTest::newRow("at -32 LUFS") << "quiet.wav" << -20.0 << -1.0 << -20.0 << "";
    QTest::newRow("at -12 LUFS, 0 dBFS peaks") << "loud.wav" << -20.0 << -1.0 << -20.0 << "";
    QTest::newRow("its peak holds it below")
        << "peaky.wav" << -16.0 << -1.0 << -33.0 << "LU below the target of -16 LUFS: its peaks";
    QTest::newRow("without a target") << "loud.wav" << double(NAN) << -1.0 << double(NAN) << "";
}

void TestLoudnessOutput::landsAtTheTarget()
{
    QFETCH(QString, file);
    QFETCH(double, target);
    QFETCH(double, ceiling);
    QFETCH(double, expected);
    QFETCH(QString, said);
    m_book->setTarget(std::isnan(target) ? std::nullopt : std::optional(target), ceiling);
    StderrCapture lines;
    std::vector<float> sound;
    hear(path(file), &sound);
    const QByteArray told = lines.text();
    QVERIFY2(said.isEmpty() ? told.isEmpty() : told.contains(said.toUtf8()), told.constData());
    if (std::isnan(expected)) {
        QVERIFY(MonitorCapture::heardAsSent(sound,
                                            MonitorCapture::sound(TestSounds::decode(path(file)))));
        return;
    }
    const PeerLoudness::Measure heard = PeerLoudness::measure(sound, Rate, path("heard.wav"));
    qInfo("heard at %.2f LUFS, %.2f dBTP", heard.lufs, heard.truePeak);
    QVERIFY2(std::fabs(heard.lufs - expected) <= 0.5, qPrintable(QString::number(heard.lufs)));
    QVERIFY2(heard.truePeak <= ceiling + 0.3, qPrintable(QString::number(heard.truePeak)));
}

void TestLoudnessOutput::kitPartsAtOneLoudness()
{
    // Parts far apart in level and pitch; "1" shorter than the 400 ms gating block.
    const QString kit = path("kit");
    QVERIFY(QDir().mkpath(kit));
    QVERIFY(writeTone(kit + "/a.wav", 440, 0.6, 0.02));
    QVERIFY(writeTone(kit + "/b.wav", 150, 0.5, 0.5));
    QVERIFY(writeTone(kit + "/1.wav", 3000, 0.25, 0.1));
    AppState state;
    state.KitFolder = kit;
    state.AudioLoudness = -20;
    KitMessages texts(state, kit, m_dir.path());
    const KitMessages::Built built = texts.build("ab1");
    QVERIFY2(built.ok, qPrintable(built.error));
    m_book->setTarget(-20, -1);
    std::vector<float> sound;
    hear(built.path, &sound);

    // Each part measured by the peer, repeated past the gating block.
    std::vector<double> measured;
    for (const std::vector<float> &part : parts(sound)) {
        std::vector<float> repeated;
        while (repeated.size() < size_t(Rate * 1.2))
            repeated.insert(repeated.end(), part.begin(), part.end());
        measured.push_back(PeerLoudness::measure(repeated, Rate, path("part.wav")).lufs);
    }
    QCOMPARE(measured.size(), size_t(3));
    qInfo("parts at %.2f, %.2f, %.2f LUFS", measured[0], measured[1], measured[2]);
    const auto [softest, loudest] = std::minmax_element(measured.begin(), measured.end());
    QVERIFY2(*loudest - *softest <= 1.0,
             qPrintable(QStringLiteral("%1 to %2 LUFS").arg(*softest).arg(*loudest)));
}

QTEST_MAIN(TestLoudnessOutput)
#include "tst_loudnessoutput.moc"
