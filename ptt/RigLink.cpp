// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/RigLink.h"

RigLink::RigLink(const HamlibSettings &settings, pid_t owner)
    : m_settings(settings), m_record(settings, owner)
{ }

RigLink::~RigLink()
{
    close();
}

void RigLink::close()
{
    m_rig.close();
    m_known.reset();
}

std::optional<RigConnection::Clock::time_point> RigLink::checkDue() const
{
    if (!m_rig.isOpen())
        return std::nullopt;
    return m_readAt;
}

bool RigLink::holds(bool onAir, Clock::time_point now) const
{
    if (m_readAt && now >= *m_readAt)
        return false;
    if (m_elsewhere)
        return !onAir;
    return m_rig.isOpen() && !m_unsure && m_known == onAir;
}

RigLink::Result RigLink::bring(bool onAir)
{
    using Failure = HamlibRig::Failure;
    if (!m_rig.isOpen()) {
        const Result opened = m_rig.open(m_settings);
        if (opened.failure != Failure::None)
            return fail(opened.failure, opened.text);
        m_known.reset();
        m_unsure = true;
    }

    const auto now = Clock::now();
    if (m_unsure || (m_readAt && now >= *m_readAt)) {
        Result read = readBack(onAir, now);
        if (read.failure != Failure::None || read.releasedElsewhere)
            return read;
    }
    if (m_elsewhere) {
        if (!onAir)
            return {};
        return {Failure::KeyedElsewhere,
                QStringLiteral("%1 is keyed by another program").arg(m_rig.name())};
    }
    Result result;
    if (m_known != onAir) {
        result.mayBeKeyed = onAir;
        // Another copy of the program that runs has it keyed: never keyed over.
        if (onAir && !m_record.mark()) {
            m_elsewhere = true;
            m_readAt = now + ReadElsewhereEvery;
            return {Failure::KeyedElsewhere,
                    QStringLiteral("%1 is keyed by another program").arg(m_rig.name())};
        }
        const Result set = m_rig.setPtt(onAir);
        if (set.failure != Failure::None) {
            m_unsure = true; // it may carry it out yet
            m_recheck = true;
            m_known.reset();
            result.failure = set.failure == Failure::Unsupported ? Failure::Settings : set.failure;
            result.text = set.text;
            return result;
        }
        m_known = onAir;
        m_ours = onAir;
        if (!onAir)
            m_record.clear();
    }
    result.mayBeKeyed = m_known == true;
    if (!m_readIsRecheck)
        m_readAt = m_known == true ? std::optional(now + ReadEvery) : std::nullopt;
    return result;
}

// What the rig does now: a keying found there that is not this program's is left alone; one
// of this program's that the rig no longer holds was released elsewhere.
RigLink::Result RigLink::readBack(bool onAir, Clock::time_point now)
{
    using Failure = HamlibRig::Failure;
    const Result read = m_rig.getPtt();
    const Failure failure = read.failure;
    const bool keyed = read.mayBeKeyed;
    const bool wasUnsure = std::exchange(m_unsure, false);
    m_readAt.reset();
    m_readIsRecheck = false;
    if (failure == Failure::Unsupported) {
        m_known.reset(); // it cannot tell: the state asked is sent again
        m_recheck = false;
        return {};
    }
    if (failure != Failure::None) {
        m_unsure = wasUnsure;
        return fail(failure, read.text);
    }
    Result result;
    if (keyed && m_known != true) {
        m_ours = m_record.leftByUs();
        m_elsewhere = !m_ours;
    } else if (!keyed) {
        result.releasedElsewhere = m_known == true && m_ours && onAir;
        m_record.clear();
        m_elsewhere = false;
        m_ours = false;
    }
    m_known = keyed;
    result.mayBeKeyed = keyed;
    // After a dropped connection the rig is read once more a second later; a keyed one, and
    // one keyed elsewhere, from time to time.
    m_readIsRecheck = std::exchange(m_recheck, false) && wasUnsure;
    if (m_readIsRecheck)
        m_readAt = now + CheckAgainAfter;
    else if (m_elsewhere)
        m_readAt = now + ReadElsewhereEvery;
    else if (keyed)
        m_readAt = now + ReadEvery;
    return result;
}

RigLink::Result RigLink::fail(HamlibRig::Failure failure, const QString &text)
{
    m_unsure = true;
    m_recheck = true;
    Result result;
    result.failure = failure;
    result.text = text;
    return result;
}
