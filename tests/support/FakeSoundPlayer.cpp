// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeSoundPlayer.h"

QStringList FakeSoundPlayer::commands() const
{
    QStringList result;
    for (const QString &entry : log)
        result << entry.section(QLatin1Char(' '), 0, 0);
    return result;
}

void FakeSoundPlayer::setMode(Mode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    emit modeChanged(mode);
}

void FakeSoundPlayer::finish(Outcome outcome)
{
    setMode(m_mode == Mode::NotReady ? Mode::NotReady : Mode::Stopped);
    emit finished(outcome);
}

SoundPlayer::OpenResult FakeSoundPlayer::open(const QString &path)
{
    log << QStringLiteral("Open ") + path;
    setFileName(path);
    m_length = 0;
    setMode(Mode::NotReady);
    if (outputAbsent)
        return OpenResult::OutputAbsent;
    if (unopenable.contains(path))
        return OpenResult::Unreadable;
    m_length = nextLength;
    setMode(Mode::Stopped);
    return OpenResult::Opened;
}

void FakeSoundPlayer::close()
{
    log << QStringLiteral("Close");
    m_length = 0;
    m_preparing = false;
    setMode(Mode::NotReady);
}

void FakeSoundPlayer::prepare()
{
    log << QStringLiteral("Prepare");
    m_preparing = true;
    if (!holdPrepared)
        answerPrepare();
}

void FakeSoundPlayer::answerPrepare()
{
    if (!m_preparing)
        return;
    m_preparing = false;
    emit prepared(m_mode != Mode::NotReady && !outputAbsent && !playFails && !refusePlay);
}

void FakeSoundPlayer::play()
{
    log << QStringLiteral("Play");
    if (refusePlay) {
        QMetaObject::invokeMethod(
            this, [this] { emit finished(Outcome::Failed); }, Qt::QueuedConnection);
        return;
    }
    if (m_mode != Mode::NotReady && !playFails)
        setMode(Mode::Playing);
}

void FakeSoundPlayer::stop()
{
    log << QStringLiteral("Stop");
    if (m_mode == Mode::Playing)
        setMode(Mode::Stopped);
}

void FakeSoundPlayer::rewind()
{
    log << QStringLiteral("Rewind");
}

void FakeSoundPlayer::stepBack()
{
    log << QStringLiteral("Back");
}

void FakeSoundPlayer::toEnd()
{
    log << QStringLiteral("ToEnd");
}
