// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/MemorySource.h"
#include "playback/audio/WorkerRequests.h"

#include <QTest>

using namespace WorkerRequests;

// What the player's calls leave for its worker while it is busy: nothing asked for may be lost,
// and of a request that replaces another only the newest counts.
class TestWorkerRequests : public QObject
{
    Q_OBJECT

private slots:
    void requestsWaitingTogetherAddUpOrReplace();
};

namespace {

std::unique_ptr<AudioSource> silence(int frames)
{
    auto sound = std::make_shared<SoundBuffer>();
    sound->sampleRate = 8000;
    sound->channels = 1;
    sound->samples.resize(size_t(frames));
    return std::make_unique<MemorySource>(std::move(sound));
}

} // namespace

void TestWorkerRequests::requestsWaitingTogetherAddUpOrReplace()
{
    Mailbox box;
    QVERIFY(!box.take<RunTasks>());

    // Every warm-up runs, in the order asked; steps back add up.
    QStringList ran;
    box.post(RunTasks{{[&ran] {
        ran << "first";
    }}});
    box.post(RunTasks{{[&ran] {
        ran << "second";
    }}});
    box.post(StepBack{100});
    box.post(StepBack{50});
    const std::optional<RunTasks> tasks = box.take<RunTasks>();
    for (const auto &task : tasks->tasks)
        task();
    QCOMPARE(ran, QStringList({"first", "second"}));
    QCOMPARE(box.take<StepBack>()->frames, 150);
    QVERIFY(!box.take<RunTasks>());

    // A newer source or seek takes the waiting one's place; the source it replaced comes back to
    // be let go of.
    QVERIFY(!box.post(TakeSource{silence(10)}));
    const std::optional<Request> replaced = box.post(TakeSource{silence(20)});
    QVERIFY(replaced && std::get<TakeSource>(*replaced).source->frameCount() == 10);
    QCOMPARE(box.take<TakeSource>()->source->frameCount(), 20);
    box.post(SeekSource{5});
    box.post(SeekSource{7});
    box.drop<StepBack>();
    QCOMPARE(box.take<SeekSource>()->frame, 7);
    box.post(WakeOutput{1});
    box.drop<WakeOutput>();
    QVERIFY(!box.take<WakeOutput>());
}

QTEST_GUILESS_MAIN(TestWorkerRequests)
#include "tst_workerrequests.moc"
