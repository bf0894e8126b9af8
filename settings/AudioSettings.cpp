// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/AudioSettings.h"

#include "settings/ProfileText.h"
#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/LogText.h"

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

QStringList AudioSettings::read(const ProfileText &file, AppState &state)
{
    QStringList problems;
    // A level that is not a whole number from 0 to 100 gives the default, and a line says so.
    const auto level = [&](const char *key) {
        if (!file.contains(Section, key))
            return DefaultLevel;
        const QByteArray text = file.value(Section, key, "");
        if (const std::optional<int> value = wholeNumberIn(text, 0, 100))
            return *value;
        problems << QStringLiteral("[Audio] %1=%2 is not a whole number from 0 to 100: %3 is used")
                        .arg(QLatin1String(key), LogText::quoted(QString::fromUtf8(text)))
                        .arg(DefaultLevel);
        return DefaultLevel;
    };
    state.AudioOutput = nameValue(file.value(Section, "Output", ""));
    state.AudioInput = nameValue(file.value(Section, "Input", ""));
    state.AudioLevel = level("Level");
    state.AudioMonitor = nameValue(file.value(Section, "Monitor", ""));
    state.MonitorLevel = level("MonitorLevel");
    state.MuteSource = nameValue(file.value(Section, "MuteSource", ""));
    return problems;
}

QList<QByteArray> AudioSettings::write(ProfileText &file, const AppState &state,
                                       const AppState &asRead)
{
    QList<QByteArray> refused;
    const auto put = [&](const char *key, const QByteArray &value, bool unchanged) {
        if (unchanged && file.contains(Section, key))
            return; // as it was read, byte for byte
        if (!file.setValue(Section, key, value))
            refused.append(QByteArray(Section) + '/' + key);
    };

    const bool differs = !state.AudioOutput.isEmpty() || !state.AudioInput.isEmpty()
                         || state.AudioLevel != DefaultLevel;
    const bool present = file.contains(Section, "Output") || file.contains(Section, "Input")
                         || file.contains(Section, "Level");
    if (differs || present) {
        put("Output", state.AudioOutput.toUtf8(), state.AudioOutput == asRead.AudioOutput);
        put("Input", state.AudioInput.toUtf8(), state.AudioInput == asRead.AudioInput);
        put("Level", QByteArray::number(qBound(0, state.AudioLevel, 100)),
            state.AudioLevel == asRead.AudioLevel);
    }

    // The monitor and the microphone to mute: each key on its own.
    const auto putIfChosen
        = [&](const char *key, const QByteArray &value, bool chosen, bool unchanged) {
              if (chosen || file.contains(Section, key))
                  put(key, value, unchanged);
          };
    putIfChosen("Monitor", state.AudioMonitor.toUtf8(), !state.AudioMonitor.isEmpty(),
                state.AudioMonitor == asRead.AudioMonitor);
    putIfChosen("MonitorLevel", QByteArray::number(qBound(0, state.MonitorLevel, 100)),
                state.MonitorLevel != DefaultLevel, state.MonitorLevel == asRead.MonitorLevel);
    putIfChosen("MuteSource", state.MuteSource.toUtf8(), !state.MuteSource.isEmpty(),
                state.MuteSource == asRead.MuteSource);
    return refused;
}
