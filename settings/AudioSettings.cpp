// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/AudioSettings.h"

#include "settings/ProfileText.h"
#include "settings/TextRules.h"
#include "station/AppState.h"

#include <QtGlobal>

using namespace TextRules;

namespace {

constexpr char Section[] = "Audio";
constexpr int DefaultLevel = 100;

// Sound server names are UTF-8.
QString nameValue(const QByteArray &text)
{
    return QString::fromUtf8(trimBlanks(text));
}

} // namespace

void AudioSettings::read(const ProfileText &file, AppState &state)
{
    state.AudioOutput = nameValue(file.value(Section, "Output", ""));
    state.AudioInput = nameValue(file.value(Section, "Input", ""));
    const double level = roundHalfEven(
        numericValue(trimBlanks(file.value(Section, "Level", QByteArray::number(DefaultLevel)))));
    state.AudioLevel = int(qBound(0.0, level, 100.0));
    state.AudioMonitor = nameValue(file.value(Section, "Monitor", ""));
    const double monitorLevel = roundHalfEven(numericValue(
        trimBlanks(file.value(Section, "MonitorLevel", QByteArray::number(DefaultLevel)))));
    state.MonitorLevel = int(qBound(0.0, monitorLevel, 100.0));
    state.MuteSource = nameValue(file.value(Section, "MuteSource", ""));
}

QList<QByteArray> AudioSettings::write(ProfileText &file, const AppState &state)
{
    QList<QByteArray> refused;
    const auto put = [&](const char *key, const QByteArray &value) {
        if (!file.setValue(Section, key, value))
            refused.append(QByteArray(Section) + '/' + key);
    };

    const bool differs = !state.AudioOutput.isEmpty() || !state.AudioInput.isEmpty()
                         || state.AudioLevel != DefaultLevel;
    const bool present = file.contains(Section, "Output") || file.contains(Section, "Input")
                         || file.contains(Section, "Level");
    if (differs || present) {
        put("Output", state.AudioOutput.toUtf8());
        put("Input", state.AudioInput.toUtf8());
        put("Level", QByteArray::number(qBound(0, state.AudioLevel, 100)));
    }

    // The monitor and the microphone to mute: each key on its own.
    const auto putIfChosen = [&](const char *key, const QByteArray &value, bool chosen) {
        if (chosen || file.contains(Section, key))
            put(key, value);
    };
    putIfChosen("Monitor", state.AudioMonitor.toUtf8(), !state.AudioMonitor.isEmpty());
    putIfChosen("MonitorLevel", QByteArray::number(qBound(0, state.MonitorLevel, 100)),
                state.MonitorLevel != DefaultLevel);
    putIfChosen("MuteSource", state.MuteSource.toUtf8(), !state.MuteSource.isEmpty());
    return refused;
}
