// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/SoundPlayer.h"

#include <QStringList>

// The sound player of the tests: it plays nothing, writes down every call in order, and lets the
// test end a play when it wants. It answers prepare() at once, inside the call (the real player
// answers queued; the station takes either), unless the test holds the answer back.
class FakeSoundPlayer : public SoundPlayer
{
    Q_OBJECT
public:
    using SoundPlayer::SoundPlayer;

    OpenResult open(const QString &path) override;
    void close() override;
    void prepare() override;
    void play() override;
    void stop() override;
    void rewind() override;
    void stepBack() override;
    void toEnd() override;
    Mode mode() const override { return m_mode; }
    qint32 length() const override { return m_length; }

    // What the player was told, in order: "Open <file>", "Close", "Prepare", "Play", "Stop",
    // "Rewind", "Back", "ToEnd".
    QStringList log;
    // The calls only ("Open", "Play", ...), without file names.
    QStringList commands() const;
    void clearLog() { log.clear(); }

    // Length the next opened file reports (milliseconds).
    qint32 nextLength = 3000;
    // Files that open() cannot open (a text renamed .wav).
    QStringList unopenable;
    // The chosen output is absent: open() says so and opens nothing, prepare() answers false.
    bool outputAbsent = false;
    // The output cannot play (it went away): prepare() answers false, and a play does not start
    // (its Failed is the test's to deliver).
    bool playFails = false;
    // Likewise, and a play that is asked for anyway fails by itself, queued, as the real player's.
    bool refusePlay = false;
    // prepare()'s answer waits for answerPrepare().
    bool holdPrepared = false;
    void answerPrepare();
    bool preparing() const { return m_preparing; }

    // The player's state, as a test wants it.
    void setMode(Mode mode);
    // The play ends by itself: the player stops and says finished(outcome).
    void finish(Outcome outcome = Outcome::Ended);
    // Says finished(outcome) without touching the mode.
    void deliverDone(Outcome outcome) { emit finished(outcome); }

private:
    Mode m_mode = Mode::NotReady;
    qint32 m_length = 0;
    bool m_preparing = false;
};
