// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/kit/VoiceKit.h"
#include "tests/audio/TestSounds.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cmath>

// Texts spoken from a kit of test tones, one pitch per recording: which parts, in which order,
// with which gaps and fades, at which rate, and what is refused.
class TestVoiceKit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void partsInOrderWithGapsAndFades();
    void mixedRatesAndChannels();
    void refusals_data();
    void refusals();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    VoiceKit m_kit;
};

namespace {

constexpr int Rate = 44100;

// `ms` of a sine at `hz` between 20 ms of silence, on every channel.
bool writeTone(const QString &path, double hz, int rate = Rate, int channels = 1, int ms = 150)
{
    const int silence = rate / 50;
    const int frames = rate * ms / 1000 + 2 * silence;
    std::vector<float> samples(size_t(frames) * channels, 0.0f);
    for (int i = silence; i < frames - silence; ++i)
        std::fill_n(samples.begin() + i * channels, channels,
                    float(0.5 * std::sin(2 * M_PI * hz * (i - silence + 0.5) / rate)));
    SF_INFO info{0, rate, channels, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE *out = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    return out && sf_writef_float(out, samples.data(), frames) == frames && sf_close(out) == 0;
}

struct Run
{
    qint64 begin, end; // frames
    double hz; // from its zero crossings
};

// The stretches of sound in the first channel, between silences of at least a millisecond.
std::vector<Run> runs(const SoundBuffer &sound)
{
    std::vector<Run> found;
    const auto at = [&](qint64 f) {
        return sound.samples[size_t(f * sound.channels)];
    };
    for (qint64 f = 0; f < sound.frameCount(); ++f) {
        if (at(f) == 0.0f)
            continue;
        qint64 end = f, zeros = 0, crossings = 0;
        for (qint64 g = f + 1; g < sound.frameCount() && zeros < sound.sampleRate / 1000; ++g) {
            zeros = at(g) == 0.0f ? zeros + 1 : 0;
            if (at(g) != 0.0f) {
                crossings += (at(g) > 0) != (at(end) > 0);
                end = g;
            }
        }
        found.push_back({f, end + 1, crossings / 2.0 * sound.sampleRate / double(end + 1 - f)});
        f = end;
    }
    return found;
}

// Whether the runs are tones of `hz`, each `ms` long (give or take a few samples).
bool tones(const std::vector<Run> &heard, const std::vector<double> &hz, const std::vector<int> &ms,
           int rate)
{
    bool ok = heard.size() == hz.size();
    for (size_t i = 0; ok && i < heard.size(); ++i)
        ok = std::fabs(heard[i].hz - hz[i]) < hz[i] * 0.02
             && std::abs(heard[i].end - heard[i].begin - qint64(rate) * ms[i] / 1000) <= 3;
    return ok;
}

} // namespace

void TestVoiceKit::init()
{
    QVERIFY(m_dir.isValid());
    for (char c = 'a'; c <= 'f'; ++c)
        QVERIFY(writeTone(file(QString(QChar(c)) + ".wav"), 300.0 + 40.0 * (c - 'a')));
    m_kit.setFolder(m_dir.path());
}

void TestVoiceKit::partsInOrderWithGapsAndFades()
{
    QVERIFY(writeTone(file("cq.wav"), 1500, Rate, 1, 300));
    QVERIFY(QDir(m_dir.path()).mkdir("calls"));
    QVERIFY(writeTone(file("calls/fe.wav"), 2000)); // used before spelling
    m_kit.setGaps(40, 120);
    const VoiceKit::Spoken spoken = m_kit.speak("BA  [CQ] fe\tc");
    QVERIFY2(spoken.ok, qPrintable(spoken.error));
    const SoundBuffer &sound = *spoken.sound;
    QVERIFY(sound.sampleRate == Rate && sound.channels == 1);
    QCOMPARE(spoken.seconds, sound.seconds());
    const std::vector<Run> heard = runs(sound);
    QVERIFY(tones(heard, {340, 300, 1500, 2000, 380}, {150, 150, 300, 150, 150}, Rate));
    const int gapMs[] = {40, 120, 120, 120};
    const qint64 fade = Rate * KitParts::FadeMs / 1000;
    const auto peak = [&](qint64 from, qint64 to) {
        return std::fabs(
            *std::max_element(sound.samples.begin() + from, sound.samples.begin() + to,
                              [](float a, float b) { return std::fabs(a) < std::fabs(b); }));
    };
    for (size_t i = 0; i < heard.size(); ++i) {
        const Run &run = heard[i];
        if (i > 0)
            QCOMPARE(run.begin - heard[i - 1].end, qint64(Rate * gapMs[i - 1] / 1000));
        // Faded in and out over 5 ms: quiet at the ends, the full tone after the fade.
        QVERIFY(peak(run.begin, run.begin + fade / 10) < 0.1f);
        QVERIFY(peak(run.end - fade / 10, run.end) < 0.1f);
        QVERIFY(peak(run.begin + fade, run.begin + 2 * fade) > 0.45f);
    }
    // A part whose file changed is read again.
    QVERIFY(writeTone(file("a.wav"), 1200, Rate, 1, 100));
    const VoiceKit::Spoken again = m_kit.speak("a");
    QVERIFY(again.ok && tones(runs(*again.sound), {1200}, {100}, Rate));
}

// 22.05 kHz mono, 48 kHz stereo, 96 kHz 4-channel parts: 48 kHz stereo, as long and as high.
void TestVoiceKit::mixedRatesAndChannels()
{
    QVERIFY(writeTone(file("a.wav"), 700, 22050, 1));
    QVERIFY(writeTone(file("b.wav"), 900, 48000, 2));
    QVERIFY(writeTone(file("c.wav"), 1100, 96000, 4));
    const VoiceKit::Spoken spoken = m_kit.speak("abc");
    QVERIFY2(spoken.ok, qPrintable(spoken.error));
    const SoundBuffer &sound = *spoken.sound;
    QCOMPARE(sound.sampleRate, 48000);
    QCOMPARE(sound.channels, 2);
    QVERIFY(tones(runs(sound), {700, 900, 1100}, {150, 150, 150}, 48000));
}

void TestVoiceKit::refusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("missing"); // without the reason a part cannot be used
    QTest::addColumn<QString>("error");
    QTest::newRow("a missing letter") << "ab dk" << QStringList{"k.wav"} << "k.wav";
    QTest::newRow("no part can exist") << "a?b [c" << QStringList{"'?'", "'[c'"} << "'?'";
    // Brackets left open or empty, and punctuation alone, even where the kit has slash.wav.
    QTest::newRow("brackets") << "[ a [] ] [[a]" << QStringList{"'['", "'[]'", "']'", "'[[a]'"}
                              << "'['";
    QTest::newRow("punctuation") << " / < ?" << QStringList{"'<'", "'?'"} << "'<'";
    QTest::newRow("nothing to say") << " \t/ //\n" << QStringList() << "nothing to say";
    QTest::newRow("10,000 characters") << QString(10000, 'a') << QStringList() << "at most 1000";
    QTest::newRow("over a minute")
        << QString("ab ").repeated(300) << QStringList() << "at most 60 s";
    QTest::newRow("corrupt") << "ca" << QStringList{"c.wav"} << "c.wav (";
    QTest::newRow("huge") << "d" << QStringList{"d.wav"} << "d.wav (longer than 20 s)";
    QTest::newRow("silent") << "e" << QStringList{"e.wav"} << "e.wav (nothing but silence)";
}

void TestVoiceKit::refusals()
{
    QFETCH(QString, text);
    QFETCH(QStringList, missing);
    QFETCH(QString, error);
    QVERIFY(TestSounds::writeBytes(file("c.wav"), QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16)));
    QVERIFY(writeTone(file("d.wav"), 500, 8000, 1, 21000));
    QVERIFY(writeTone(file("e.wav"), 500, Rate, 1, 0));
    QVERIFY(writeTone(file("slash.wav"), 600));
    const VoiceKit::Spoken spoken = m_kit.speak(text);
    QVERIFY(!spoken.ok && !spoken.sound);
    QStringList names;
    for (const QString &entry : spoken.missing)
        names << entry.section(" (", 0, 0);
    QCOMPARE(names, missing);
    QVERIFY2(spoken.error.contains(error), qPrintable(spoken.error));
}

QTEST_MAIN(TestVoiceKit)
#include "tst_voicekit.moc"
