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

QStringList AudioSettings::read(const ProfileText &file, AppState &state)
{
    QStringList problems;
    state.AudioOutput = nameValue(file.value(Section, "Output", ""));
    state.AudioInput = nameValue(file.value(Section, "Input", ""));
    state.AudioLevel = DefaultLevel;
    if (file.contains(Section, "Level")) {
        const QByteArray text = file.value(Section, "Level", "");
        if (const std::optional<int> level = wholeNumberIn(text, 0, 100))
            state.AudioLevel = *level;
        else
            problems << QStringLiteral("[Audio] Level=%1 is not a whole number from 0 to 100: %2 "
                                       "is used")
                            .arg(QString::fromUtf8(text))
                            .arg(DefaultLevel);
    }
    return problems;
}

QList<QByteArray> AudioSettings::write(ProfileText &file, const AppState &state,
                                       const AppState &asRead)
{
    const bool differs = !state.AudioOutput.isEmpty() || !state.AudioInput.isEmpty()
                         || state.AudioLevel != DefaultLevel;
    const bool present = file.contains(Section, "Output") || file.contains(Section, "Input")
                         || file.contains(Section, "Level");
    if (!differs && !present)
        return {};

    QList<QByteArray> refused;
    const auto put = [&](const char *key, const QByteArray &value, bool unchanged) {
        if (unchanged && file.contains(Section, key))
            return; // as it was read, byte for byte
        if (!file.setValue(Section, key, value))
            refused.append(QByteArray(Section) + '/' + key);
    };
    put("Output", state.AudioOutput.toUtf8(), state.AudioOutput == asRead.AudioOutput);
    put("Input", state.AudioInput.toUtf8(), state.AudioInput == asRead.AudioInput);
    put("Level", QByteArray::number(qBound(0, state.AudioLevel, 100)),
        state.AudioLevel == asRead.AudioLevel);
    return refused;
}
