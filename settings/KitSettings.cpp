// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/KitSettings.h"

#include "settings/ProfileText.h"
#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/FileNames.h"
#include "station/Log.h"
#include "station/LogText.h"

#include <optional>

namespace {

constexpr char Section[] = "Kit";
constexpr int MaxGapMs = 2000;

QString folderValue(const ProfileText &file)
{
    return FileNames::decode(TextRules::trimBlanks(file.value(Section, "Folder", "")));
}

// A gap as the file holds it: a whole number of milliseconds from 0 to MaxGapMs, or nothing.
std::optional<int> gapValue(const QByteArray &text)
{
    bool ok = false;
    const int value = TextRules::trimBlanks(text).toInt(&ok);
    if (!ok || value < 0 || value > MaxGapMs)
        return std::nullopt;
    return value;
}

int readGap(const ProfileText &file, const char *key, int fallback, const QString &fileName)
{
    if (!file.contains(Section, key))
        return fallback;
    const QByteArray text = file.value(Section, key, "");
    if (const std::optional<int> value = gapValue(text))
        return *value;
    qCWarning(lcSettings).noquote()
        << QStringLiteral("[%1] %2=%3 in %4 is not a number of milliseconds from 0 to %5: %6 is "
                          "used")
               .arg(QLatin1String(Section), QLatin1String(key),
                    LogText::quoted(QString::fromLocal8Bit(text)), fileName)
               .arg(MaxGapMs)
               .arg(fallback);
    return fallback;
}

} // namespace

void KitSettings::read(const ProfileText &file, AppState &state)
{
    const AppState defaults;
    state.Kit.KitFolder = folderValue(file);
    state.Kit.KitLetterGapMs = readGap(file, "LetterGapMs", defaults.Kit.KitLetterGapMs, state.Places.IniFile);
    state.Kit.KitWordGapMs = readGap(file, "WordGapMs", defaults.Kit.KitWordGapMs, state.Places.IniFile);
}

QList<QByteArray> KitSettings::write(ProfileText &file, const AppState &state)
{
    const AppState defaults;
    QList<QByteArray> refused;
    // `unchanged`: the file's value reads as the state's.
    const auto put = [&](const char *key, bool isDefault, bool unchanged, const QByteArray &value) {
        const bool present = file.contains(Section, key);
        if ((present && unchanged) || (!present && isDefault))
            return;
        if (!file.setValue(Section, key, value))
            refused.append(QByteArray(Section) + '/' + key);
    };
    put("Folder", state.Kit.KitFolder.isEmpty(), folderValue(file) == state.Kit.KitFolder,
        FileNames::encode(state.Kit.KitFolder));
    const auto gap = [&](const char *key, int value, int fallback) {
        const int read = gapValue(file.value(Section, key, "")).value_or(fallback);
        put(key, value == fallback, read == value, QByteArray::number(value));
    };
    gap("LetterGapMs", state.Kit.KitLetterGapMs, defaults.Kit.KitLetterGapMs);
    gap("WordGapMs", state.Kit.KitWordGapMs, defaults.Kit.KitWordGapMs);
    return refused;
}
