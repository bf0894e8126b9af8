// SPDX-License-Identifier: GPL-3.0-or-later
// A repeat soak on a busy machine, not run unless named ("vvbench soak"; 10 minutes, or
// VVBENCH_SOAK_SECONDS): memory 1 repeats a 3 s message with a 1.5 s pause on the rig's sink of a
// PulseAudio server of the benchmark's own, while paplay plays the same file with the same pause
// on the other sink, and two busy processes per core run beside them. Every play heard on each
// sink's monitor is compared with the file, sample for sample: a play with silence inserted (or
// anything else that is not the file) counts as broken. Target: no more broken plays than paplay.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "bench/BenchStation.h"
#include "playback/audio/PulseConnection.h"
#include "tests/support/MonitorCapture.h"
#include "tests/support/PrivateSoundServer.h"
#include "ui/PictureButton.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sndfile.h>

#include <memory>
#include <vector>

namespace {

const QString Section = QStringLiteral("soak");
constexpr int Rate = MonitorCapture::SampleRate;
constexpr double MessageSeconds = 3.0;
constexpr int PauseMs = 1500;

std::vector<float> decodeFile(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<float> samples(size_t(info.frames));
    samples.resize(size_t(sf_readf_float(file, samples.data(), info.frames)));
    sf_close(file);
    return samples;
}

// Counts the plays of one message in what a monitor hears, fed as it arrives: a play begins where
// sound follows silence and the message's first samples follow; it is whole when every sample of
// the message follows.
class PlayCounter
{
public:
    explicit PlayCounter(std::vector<float> sent) : m_sent(std::move(sent)) { }

    void feed(const std::vector<float> &heard, bool last)
    {
        m_heard.insert(m_heard.end(), heard.begin(), heard.end());
        size_t at = 0;
        for (;;) {
            while (at < m_heard.size()
                   && !(m_heard[at] != 0 && (at == 0 ? m_silentBefore : m_heard[at - 1] == 0)))
                ++at;
            if (at + m_sent.size() > m_heard.size() && !last)
                break; // the rest of it has not arrived
            if (at >= m_heard.size())
                break;
            const size_t head = std::min<size_t>(64, m_heard.size() - at);
            if (std::equal(m_sent.begin(), m_sent.begin() + qsizetype(head),
                           m_heard.begin() + qsizetype(at))) {
                ++plays;
                const size_t length = std::min(m_sent.size(), m_heard.size() - at);
                if (length < m_sent.size()
                    || !std::equal(m_sent.begin(), m_sent.end(), m_heard.begin() + qsizetype(at)))
                    ++broken;
            }
            ++at; // a sound that starts elsewhere in the message: the rest of a broken play
        }
        if (at > 0) {
            m_silentBefore = m_heard[at - 1] == 0;
            m_heard.erase(m_heard.begin(), m_heard.begin() + qsizetype(at));
        }
    }

    int plays = 0;
    int broken = 0;

private:
    std::vector<float> m_sent;
    std::vector<float> m_heard;
    bool m_silentBefore = true;
};

class SoakBench
{
public:
    explicit SoakBench(BenchReport &report) : m_report(report) { }

    void run()
    {
        const int seconds = qEnvironmentVariableIsSet("VVBENCH_SOAK_SECONDS")
                                ? qEnvironmentVariableIntValue("VVBENCH_SOAK_SECONDS")
                                : 600;
        QString error;
        if (!m_server.start(&error)) {
            m_report.note(Section + QStringLiteral(": no private PulseAudio server: ") + error);
            return;
        }
        const QString file = m_files.filePath(QStringLiteral("sweep.wav"));
        if (!BenchSounds::writeSweep(file, Rate, MessageSeconds)) {
            m_report.note(Section + QStringLiteral(": cannot write the message"));
            return;
        }
        PlayCounter program(decodeFile(file));
        PlayCounter paplay(decodeFile(file));

        PulseConnection connection;
        longestStallWhile([&] { return connection.state() == PulseConnection::Ready; }, 10000);
        populateProgramFolder(m_folder.path());
        BenchStation s(connection, m_folder.path());
        s.station.Form_Load();
        s.device.setOutput(PrivateSoundServer::Rig);
        s.station.state().Memories.MemFile[0] = file;
        s.station.state().Memories.MemDelay[0] = PauseMs;
        s.station.window().Check3d1(0)->setChecked(true);

        MonitorCapture rig(PrivateSoundServer::Rig + ".monitor");
        MonitorCapture speakers(PrivateSoundServer::Speakers + ".monitor");
        if (!rig.start(&error) || !speakers.start(&error)) {
            m_report.note(Section + QStringLiteral(": cannot listen to the monitors: ") + error);
            return;
        }

        // Two busy processes per core, ended by their PIDs.
        std::vector<std::unique_ptr<QProcess>> busy;
        for (int i = 0; i < 2 * QThread::idealThreadCount(); ++i) {
            busy.push_back(std::make_unique<QProcess>());
            busy.back()->start(QStringLiteral("sh"),
                               {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
        }

        // paplay over and over on the other sink, with the same pause.
        QProcess player;
        QTimer again;
        again.setSingleShot(true);
        again.setInterval(PauseMs);
        QObject::connect(&again, &QTimer::timeout, &player, [&] {
            player.start(QStringLiteral("paplay"),
                         {QStringLiteral("-d"), PrivateSoundServer::Speakers, file});
        });
        QObject::connect(&player, &QProcess::finished, &again, qOverload<>(&QTimer::start));
        again.start();

        // Memory 1 repeats; what the monitors heard is counted as it comes.
        click(s.station.window().Command3d1(0), Qt::LeftButton);
        QElapsedTimer clock;
        clock.start();
        QTimer count;
        QObject::connect(&count, &QTimer::timeout, [&] {
            program.feed(take(rig), false);
            paplay.feed(take(speakers), false);
        });
        count.start(5000);
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        count.stop();

        // The last plays end by themselves: none is cut short.
        s.station.window().Check3d1(0)->setChecked(false);
        QObject::disconnect(&player, nullptr, &again, nullptr);
        again.stop();
        player.waitForFinished(10000);
        longestStallWhile([&s] { return s.station.station().state().playing() == 0; }, 20000);
        for (auto &process : busy) {
            process->kill();
            process->waitForFinished(5000);
        }
        rig.catchUp();
        speakers.catchUp();
        program.feed(take(rig), true);
        paplay.feed(take(speakers), true);

        m_report.note(QStringLiteral("%1: %2 s beside %3 busy processes")
                          .arg(Section)
                          .arg(clock.elapsed() / 1000)
                          .arg(busy.size()));
        m_report.add(Section, QStringLiteral("plays, program (count, not ms)"), program.plays);
        m_report.add(Section, QStringLiteral("plays with silence inserted, program (count)"),
                     program.broken, QStringLiteral("<= paplay's"));
        m_report.add(Section, QStringLiteral("plays, paplay (count, not ms)"), paplay.plays);
        m_report.add(Section, QStringLiteral("plays with silence inserted, paplay (count)"),
                     paplay.broken);
    }

private:
    static std::vector<float> take(MonitorCapture &capture) { return capture.take(); }

    BenchReport &m_report;
    PrivateSoundServer m_server;
    QTemporaryDir m_files;
    QTemporaryDir m_folder;
};

} // namespace

void runSoakBench(BenchReport &report)
{
    SoakBench bench(report);
    bench.run();
}
