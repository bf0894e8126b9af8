// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/PttSettings.h"

#include "settings/ProfileText.h"
#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/FileNames.h"

#include <QtGlobal>

using namespace TextRules;

namespace {

constexpr char Section[] = "PTT";
const char *const Keys[] = {"Method",      "SerialDevice", "RigModel", "RigPort", "RigSpeed",
                            "Cm108Device", "Cm108Gpio",    "LeadMs",   "TailMs",  "TimeoutS"};

struct MethodName
{
    KeyingMethod method;
    const char *name;
};
constexpr MethodName Methods[] = {{KeyingMethod::Serial, "Serial"},
                                  {KeyingMethod::Cat, "CAT"},
                                  {KeyingMethod::Cm108, "CM108"},
                                  {KeyingMethod::None, "None"}};

KeyingMethod methodValue(const QByteArray &text)
{
    const QByteArray name = trimBlanks(text);
    for (const MethodName &entry : Methods) {
        if (name.compare(entry.name, Qt::CaseInsensitive) == 0)
            return entry.method;
    }
    return KeyingMethod::Serial;
}

QByteArray methodText(KeyingMethod method)
{
    for (const MethodName &entry : Methods) {
        if (entry.method == method)
            return entry.name;
    }
    return "Serial";
}

int numberValue(const ProfileText &file, const char *key, int fallback, int min, int max)
{
    const double value = roundHalfEven(
        numericValue(trimBlanks(file.value(Section, key, QByteArray::number(fallback)))));
    return int(qBound(double(min), value, double(max)));
}

// Device paths and host names, byte for byte as file names are kept.
QString nameValue(const ProfileText &file, const char *key, const QByteArray &fallback)
{
    return FileNames::decode(trimBlanks(file.value(Section, key, fallback)));
}

} // namespace

void PttSettings::read(const ProfileText &file, AppState &state)
{
    const AppState defaults;
    state.PttMethod = methodValue(file.value(Section, "Method", "Serial"));
    state.SerialDevice = nameValue(file, "SerialDevice", "");
    state.RigModel = numberValue(file, "RigModel", defaults.RigModel, RigModelMin, RigModelMax);
    state.RigPort = nameValue(file, "RigPort", FileNames::encode(defaults.RigPort));
    state.RigSpeed = numberValue(file, "RigSpeed", defaults.RigSpeed, 0, RigSpeedMax);
    state.Cm108Device = nameValue(file, "Cm108Device", "");
    state.Cm108Gpio
        = numberValue(file, "Cm108Gpio", defaults.Cm108Gpio, Cm108GpioMin, Cm108GpioMax);
    state.LeadMs = numberValue(file, "LeadMs", defaults.LeadMs, 0, LeadMsMax);
    state.TailMs = numberValue(file, "TailMs", defaults.TailMs, 0, TailMsMax);
    state.TimeoutS = numberValue(file, "TimeoutS", defaults.TimeoutS, 0, TimeoutSMax);
}

QList<QByteArray> PttSettings::write(ProfileText &file, const AppState &state)
{
    const AppState defaults;
    const bool differs
        = state.PttMethod != defaults.PttMethod || state.SerialDevice != defaults.SerialDevice
          || state.RigModel != defaults.RigModel || state.RigPort != defaults.RigPort
          || state.RigSpeed != defaults.RigSpeed || state.Cm108Device != defaults.Cm108Device
          || state.Cm108Gpio != defaults.Cm108Gpio || state.LeadMs != defaults.LeadMs
          || state.TailMs != defaults.TailMs || state.TimeoutS != defaults.TimeoutS;
    bool present = false;
    for (const char *key : Keys)
        present = present || file.contains(Section, key);
    if (!differs && !present)
        return {};

    QList<QByteArray> refused;
    const auto put = [&](const char *key, const QByteArray &value) {
        if (!file.setValue(Section, key, value))
            refused.append(QByteArray(Section) + '/' + key);
    };
    put("Method", methodText(state.PttMethod));
    put("SerialDevice", FileNames::encode(state.SerialDevice));
    put("RigModel", QByteArray::number(state.RigModel));
    put("RigPort", FileNames::encode(state.RigPort));
    put("RigSpeed", QByteArray::number(state.RigSpeed));
    put("Cm108Device", FileNames::encode(state.Cm108Device));
    put("Cm108Gpio", QByteArray::number(state.Cm108Gpio));
    put("LeadMs", QByteArray::number(state.LeadMs));
    put("TailMs", QByteArray::number(state.TailMs));
    put("TimeoutS", QByteArray::number(state.TimeoutS));
    return refused;
}
