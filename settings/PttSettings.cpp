// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/PttSettings.h"

#include "settings/ProfileText.h"
#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/FileNames.h"
#include "station/LogText.h"

#include <QtGlobal>

using namespace TextRules;

namespace {

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

QByteArray methodText(KeyingMethod method)
{
    for (const MethodName &entry : Methods) {
        if (entry.method == method)
            return entry.name;
    }
    return "Serial";
}

// Reads the keys, noting each value that is not taken.
class Reader
{
public:
    Reader(const ProfileText &file, const char *section) : m_file(file), Section(section) { }

    KeyingMethod method(KeyingMethod fallback)
    {
        if (!m_file.contains(Section, "Method"))
            return fallback;
        const QByteArray text = m_file.value(Section, "Method", "");
        const QByteArray name = trimBlanks(text);
        for (const MethodName &entry : Methods) {
            if (name.compare(entry.name, Qt::CaseInsensitive) == 0)
                return entry.method;
        }
        complain("Method", text, QStringLiteral("Serial, CAT, CM108 or None"),
                 QString::fromLatin1(methodText(fallback)));
        return fallback;
    }

    int number(const char *key, int fallback, int min, int max)
    {
        if (!m_file.contains(Section, key))
            return fallback;
        const QByteArray text = m_file.value(Section, key, "");
        if (const std::optional<int> value = wholeNumberIn(text, min, max))
            return *value;
        complain(key, text, QStringLiteral("a whole number from %1 to %2").arg(min).arg(max),
                 QString::number(fallback));
        return fallback;
    }

    // Device paths and host names, byte for byte as file names are kept.
    QString name(const char *key, const QString &fallback)
    {
        return FileNames::decode(
            trimBlanks(m_file.value(Section, key, FileNames::encode(fallback))));
    }

    QStringList problems;

private:
    void complain(const char *key, const QByteArray &text, const QString &accepted,
                  const QString &used)
    {
        problems << QStringLiteral("[%5] %1=%2 is not %3: %4 is used")
                        .arg(QLatin1String(key), LogText::quoted(QString::fromUtf8(text)), accepted,
                             used, QLatin1String(Section));
    }

    const ProfileText &m_file;
    const char *Section;
};

} // namespace

QStringList PttSettings::read(const ProfileText &file, AppState &state, const char *section)
{
    const AppState defaults;
    Reader read(file, section);
    state.PttMethod = read.method(defaults.PttMethod);
    state.SerialDevice = read.name("SerialDevice", defaults.SerialDevice);
    state.RigModel = read.number("RigModel", defaults.RigModel, RigModelMin, RigModelMax);
    state.RigPort = read.name("RigPort", defaults.RigPort);
    state.RigSpeed = read.number("RigSpeed", defaults.RigSpeed, 0, RigSpeedMax);
    state.Cm108Device = read.name("Cm108Device", defaults.Cm108Device);
    state.Cm108Gpio = read.number("Cm108Gpio", defaults.Cm108Gpio, Cm108GpioMin, Cm108GpioMax);
    state.LeadMs = read.number("LeadMs", defaults.LeadMs, 0, LeadMsMax);
    state.TailMs = read.number("TailMs", defaults.TailMs, 0, TailMsMax);
    state.TimeoutS = read.number("TimeoutS", defaults.TimeoutS, 0, TimeoutSMax);
    return read.problems;
}

QList<QByteArray> PttSettings::write(ProfileText &file, const AppState &state,
                                     const AppState &asRead)
{
    constexpr char Section[] = "PTT";
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
    const auto put = [&](const char *key, const QByteArray &value, bool unchanged) {
        if (unchanged && file.contains(Section, key))
            return; // as it was read, byte for byte
        if (!file.setValue(Section, key, value))
            refused.append(QByteArray(Section) + '/' + key);
    };
    const AppState &s = state;
    const AppState &r = asRead;
    put("Method", methodText(s.PttMethod), s.PttMethod == r.PttMethod);
    put("SerialDevice", FileNames::encode(s.SerialDevice), s.SerialDevice == r.SerialDevice);
    put("RigModel", QByteArray::number(s.RigModel), s.RigModel == r.RigModel);
    put("RigPort", FileNames::encode(s.RigPort), s.RigPort == r.RigPort);
    put("RigSpeed", QByteArray::number(s.RigSpeed), s.RigSpeed == r.RigSpeed);
    put("Cm108Device", FileNames::encode(s.Cm108Device), s.Cm108Device == r.Cm108Device);
    put("Cm108Gpio", QByteArray::number(s.Cm108Gpio), s.Cm108Gpio == r.Cm108Gpio);
    put("LeadMs", QByteArray::number(s.LeadMs), s.LeadMs == r.LeadMs);
    put("TailMs", QByteArray::number(s.TailMs), s.TailMs == r.TailMs);
    put("TimeoutS", QByteArray::number(s.TimeoutS), s.TimeoutS == r.TimeoutS);
    return refused;
}
