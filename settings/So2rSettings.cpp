// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/So2rSettings.h"

#include "settings/ProfileText.h"
#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/FileNames.h"
#include "station/Log.h"
#include "station/LogText.h"

#include <optional>

namespace {

constexpr char Section[] = "SO2R";

QString deviceValue(const ProfileText &file)
{
    return FileNames::decode(TextRules::trimBlanks(file.value(Section, "Otrsp", "")));
}

std::optional<InterlockRule> interlockValue(const QByteArray &text)
{
    const QByteArray word = TextRules::trimBlanks(text);
    if (word.compare("refuse", Qt::CaseInsensitive) == 0)
        return InterlockRule::Refuse;
    if (word.compare("wait", Qt::CaseInsensitive) == 0)
        return InterlockRule::Wait;
    return std::nullopt;
}

std::optional<bool> flagValue(const QByteArray &text)
{
    const QByteArray word = TextRules::trimBlanks(text);
    if (word == "0" || word == "1")
        return word == "1";
    return std::nullopt;
}

// The key's value as `parse` takes it; a value it refuses gives `fallback`, said once.
template<typename T, typename Parse>
T readKey(const ProfileText &file, const char *key, T fallback, Parse parse, const char *accepted,
          const char *used, const QString &fileName)
{
    if (!file.contains(Section, key))
        return fallback;
    const QByteArray text = file.value(Section, key, "");
    if (const std::optional<T> value = parse(text))
        return *value;
    qCWarning(lcSettings).noquote()
        << QStringLiteral("[%1] %2=%3 in %4 is not %5: %6 is used")
               .arg(QLatin1String(Section), QLatin1String(key),
                    LogText::quoted(QString::fromLocal8Bit(text)), fileName,
                    QLatin1String(accepted), QLatin1String(used));
    return fallback;
}

} // namespace

void So2rSettings::read(const ProfileText &file, AppState &state)
{
    state.So2r.Otrsp = deviceValue(file);
    state.So2r.Interlock = readKey(file, "Interlock", InterlockRule::Refuse, interlockValue,
                                   "refuse or wait", "refuse", state.Places.IniFile);
    state.So2r.Alternate
        = readKey(file, "Alternate", false, flagValue, "0 or 1", "0", state.Places.IniFile);
    state.So2r.Stereo
        = readKey(file, "Stereo", false, flagValue, "0 or 1", "0", state.Places.IniFile);
}

QList<QByteArray> So2rSettings::write(ProfileText &file, const AppState &state)
{
    const So2rChoice defaults;
    const So2rChoice &so2r = state.So2r;
    QList<QByteArray> refused;
    // `unchanged`: the file's value reads as the state's.
    const auto put = [&](const char *key, bool isDefault, bool unchanged, const QByteArray &value) {
        const bool present = file.contains(Section, key);
        if ((present && unchanged) || (!present && isDefault))
            return;
        if (!file.setValue(Section, key, value))
            refused.append(QByteArray(Section) + '/' + key);
    };
    put("Otrsp", so2r.Otrsp.isEmpty(), deviceValue(file) == so2r.Otrsp,
        FileNames::encode(so2r.Otrsp));
    const InterlockRule interlock
        = interlockValue(file.value(Section, "Interlock", "")).value_or(defaults.Interlock);
    put("Interlock", so2r.Interlock == defaults.Interlock, interlock == so2r.Interlock,
        so2r.Interlock == InterlockRule::Wait ? "wait" : "refuse");
    const auto putFlag = [&](const char *key, bool value, bool fallback) {
        const bool read = flagValue(file.value(Section, key, "")).value_or(fallback);
        put(key, value == fallback, read == value, value ? "1" : "0");
    };
    putFlag("Alternate", so2r.Alternate, defaults.Alternate);
    putFlag("Stereo", so2r.Stereo, defaults.Stereo);
    return refused;
}
