// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/AudioSettings.h"

#include "settings/ProfileText.h"
#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/LogText.h"

#include <QRegularExpression>
#include <QtGlobal>

#include <cmath>

using namespace TextRules;

namespace {

constexpr int DefaultLevel = 100;

// Sound server names are UTF-8.
QString nameValue(const QByteArray &text)
{
    return QString::fromUtf8(trimBlanks(text));
}

QByteArray decibelText(double value)
{
    return QByteArray::number(value, 'g', 6);
}

// The loudness target and the ceiling; each value not taken gives its default, and a line says so.
void readLoudness(const ProfileText &file, const char *Section, AppState &state,
                  QStringList &problems)
{
    using namespace AudioSettings;
    const QByteArray target = trimBlanks(file.value(Section, "Loudness", ""));
    state.Audio.AudioLoudness
        = target.isEmpty() ? std::nullopt
                           : decibelsIn(QString::fromUtf8(target), MinLoudness, MaxLoudness);
    if (!target.isEmpty() && !state.Audio.AudioLoudness)
        problems << QStringLiteral("[%4] Loudness=%1 is not a loudness from %2 to %3 LUFS: "
                                   "messages play as recorded")
                        .arg(QString::fromUtf8(target))
                        .arg(MinLoudness)
                        .arg(MaxLoudness)
                        .arg(QLatin1String(Section));
    state.Audio.AudioTruePeak = DefaultTruePeak;
    if (!file.contains(Section, "TruePeak"))
        return;
    const QByteArray ceiling = file.value(Section, "TruePeak", "");
    if (const std::optional<double> value
        = decibelsIn(QString::fromUtf8(ceiling), MinTruePeak, MaxTruePeak))
        state.Audio.AudioTruePeak = *value;
    else
        problems << QStringLiteral("[%5] TruePeak=%1 is not a ceiling from %2 to %3 dBTP: %4 "
                                   "is used")
                        .arg(QString::fromUtf8(ceiling))
                        .arg(MinTruePeak)
                        .arg(MaxTruePeak)
                        .arg(DefaultTruePeak)
                        .arg(QLatin1String(Section));
}

} // namespace

std::optional<double> AudioSettings::decibelsIn(QString text, double min, double max)
{
    static const QRegularExpression unit(QStringLiteral("\\s*(LUFS|dBTP|dB)\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    text = text.trimmed().replace(QChar(0x2212), QLatin1Char('-')).remove(unit);
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < min || value > max)
        return std::nullopt;
    return value;
}

QStringList AudioSettings::read(const ProfileText &file, AppState &state, const char *Section)
{
    QStringList problems;
    // A level that is not a whole number from 0 to 100 gives the default, and a line says so.
    const auto level = [&](const char *key) {
        if (!file.contains(Section, key))
            return DefaultLevel;
        const QByteArray text = file.value(Section, key, "");
        if (const std::optional<int> value = wholeNumberIn(text, 0, 100))
            return *value;
        problems << QStringLiteral("[%4] %1=%2 is not a whole number from 0 to 100: %3 is used")
                        .arg(QLatin1String(key), LogText::quoted(QString::fromUtf8(text)))
                        .arg(DefaultLevel)
                        .arg(QLatin1String(Section));
        return DefaultLevel;
    };
    state.Audio.AudioOutput = nameValue(file.value(Section, "Output", ""));
    state.Audio.AudioInput = nameValue(file.value(Section, "Input", ""));
    state.Audio.AudioLevel = level("Level");
    state.Audio.AudioMonitor = nameValue(file.value(Section, "Monitor", ""));
    state.Audio.MonitorLevel = level("MonitorLevel");
    state.Audio.MuteSource = nameValue(file.value(Section, "MuteSource", ""));
    readLoudness(file, Section, state, problems);
    return problems;
}

QList<QByteArray> AudioSettings::write(ProfileText &file, const AppState &state,
                                       const AppState &asRead, const char *Section)
{
    // The second radio's section takes the keys it has and its output, input and level; the
    // others it shares with the first radio's.
    const bool ownSection = qstrcmp(Section, "Audio") == 0;
    QList<QByteArray> refused;
    const auto put = [&](const char *key, const QByteArray &value, bool unchanged) {
        if (unchanged && file.contains(Section, key))
            return; // as it was read, byte for byte
        if (!file.setValue(Section, key, value))
            refused.append(QByteArray(Section) + '/' + key);
    };

    const bool differs = !state.Audio.AudioOutput.isEmpty() || !state.Audio.AudioInput.isEmpty()
                         || state.Audio.AudioLevel != DefaultLevel;
    const bool present = file.contains(Section, "Output") || file.contains(Section, "Input")
                         || file.contains(Section, "Level");
    if (differs || present) {
        put("Output", state.Audio.AudioOutput.toUtf8(),
            state.Audio.AudioOutput == asRead.Audio.AudioOutput);
        put("Input", state.Audio.AudioInput.toUtf8(),
            state.Audio.AudioInput == asRead.Audio.AudioInput);
        put("Level", QByteArray::number(qBound(0, state.Audio.AudioLevel, 100)),
            state.Audio.AudioLevel == asRead.Audio.AudioLevel);
    }

    // The monitor and the microphone to mute: each key on its own.
    const auto putIfChosen
        = [&](const char *key, const QByteArray &value, bool chosen, bool unchanged) {
              if ((chosen && ownSection) || file.contains(Section, key))
                  put(key, value, unchanged);
          };
    putIfChosen("Monitor", state.Audio.AudioMonitor.toUtf8(), !state.Audio.AudioMonitor.isEmpty(),
                state.Audio.AudioMonitor == asRead.Audio.AudioMonitor);
    putIfChosen("MonitorLevel", QByteArray::number(qBound(0, state.Audio.MonitorLevel, 100)),
                state.Audio.MonitorLevel != DefaultLevel,
                state.Audio.MonitorLevel == asRead.Audio.MonitorLevel);
    putIfChosen("MuteSource", state.Audio.MuteSource.toUtf8(), !state.Audio.MuteSource.isEmpty(),
                state.Audio.MuteSource == asRead.Audio.MuteSource);
    putIfChosen("Loudness",
                state.Audio.AudioLoudness ? decibelText(*state.Audio.AudioLoudness) : QByteArray(),
                state.Audio.AudioLoudness.has_value(),
                state.Audio.AudioLoudness == asRead.Audio.AudioLoudness);
    putIfChosen("TruePeak", decibelText(state.Audio.AudioTruePeak),
                state.Audio.AudioTruePeak != DefaultTruePeak,
                state.Audio.AudioTruePeak == asRead.Audio.AudioTruePeak);
    return refused;
}
