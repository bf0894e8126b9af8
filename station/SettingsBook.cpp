// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/SettingsBook.h"

#include "station/Log.h"

#include <QStringList>
#include <cmath>

namespace {

Result outside(const char *what, double value, double min, double max)
{
    if (std::isfinite(value) && value >= min && value <= max)
        return {};
    return Result::failure(QStringLiteral("%1 %2 is not from %3 to %4")
                               .arg(QLatin1String(what))
                               .arg(value)
                               .arg(min)
                               .arg(max));
}

// The first failure among the checks, or done.
Result first(std::initializer_list<Result> checks)
{
    for (const Result &check : checks)
        if (!check)
            return check;
    return {};
}

} // namespace

Result SettingsBook::check(const PttValues &ptt)
{
    using P = PttValues;
    return first({outside("the rig model", ptt.RigModel, P::RigModelMin, P::RigModelMax),
                  outside("the rig's speed", ptt.RigSpeed, 0, P::RigSpeedMax),
                  outside("the CM108 pin", ptt.Cm108Gpio, P::Cm108GpioMin, P::Cm108GpioMax),
                  outside("the lead", ptt.LeadMs, 0, P::LeadMsMax),
                  outside("the tail", ptt.TailMs, 0, P::TailMsMax),
                  outside("the time-out", ptt.TimeoutS, 0, P::TimeoutSMax)});
}

Result SettingsBook::check(const AudioValues &audio)
{
    using A = AudioValues;
    return first({outside("the level", audio.AudioLevel, 0, A::MaxLevel),
                  outside("the monitor's level", audio.MonitorLevel, 0, A::MaxLevel),
                  audio.AudioLoudness ? outside("the loudness", *audio.AudioLoudness,
                                                A::MinLoudness, A::MaxLoudness)
                                      : Result{},
                  outside("the true peak", audio.AudioTruePeak, A::MinTruePeak, A::MaxTruePeak)});
}

Result SettingsBook::check(const KitValues &kit)
{
    return first({outside("the gap in a word", kit.KitLetterGapMs, 0, KitValues::MaxGapMs),
                  outside("the gap between words", kit.KitWordGapMs, 0, KitValues::MaxGapMs)});
}

Result SettingsBook::check(const NetworkValues &network)
{
    return first({outside("the port", network.Listen, 0, 65535),
                  outside("the peers' time-out", network.PeerTimeoutS,
                          NetworkValues::MinPeerTimeoutS, NetworkValues::MaxPeerTimeoutS)});
}

template<typename Area>
Result SettingsBook::store(Area &area, const Area &value, Result verdict)
{
    if (!verdict) {
        qCDebug(lcSettings) << "settings refused:" << verdict.error;
        return verdict;
    }
    area = value;
    return verdict;
}

Result SettingsBook::apply(const MemoryValues &memories)
{
    return store(m_values.Memories, memories, Result{});
}

Result SettingsBook::apply(const PttValues &ptt)
{
    return store(m_values.Ptt, ptt, check(ptt));
}

Result SettingsBook::apply(const AudioValues &audio)
{
    return store(m_values.Audio, audio, check(audio));
}

Result SettingsBook::apply(const KitValues &kit)
{
    return store(m_values.Kit, kit, check(kit));
}

Result SettingsBook::apply(const FontValues &fonts)
{
    return store(m_values.Fonts, fonts, Result{});
}

Result SettingsBook::apply(const NetworkValues &network)
{
    return store(m_values.Network, network, check(network));
}

Result SettingsBook::apply(const So2rChoice &so2r)
{
    return store(m_values.So2r, so2r, Result{});
}

Result SettingsBook::applyAll(const AppState &read)
{
    QStringList refused;
    for (const Result &result :
         {apply(read.Memories), apply(read.Ptt), apply(read.Audio), apply(read.Kit),
          apply(read.Fonts), apply(read.Network), apply(read.So2r)})
        if (!result)
            refused << result.error;
    m_values.Places = read.Places;
    return refused.isEmpty() ? Result{} : Result::failure(refused.join(QStringLiteral("; ")));
}
