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
    state.Ptt.PttMethod = read.method(defaults.Ptt.PttMethod);
    state.Ptt.SerialDevice = read.name("SerialDevice", defaults.Ptt.SerialDevice);
    state.Ptt.RigModel = read.number("RigModel", defaults.Ptt.RigModel, RigModelMin, RigModelMax);
    state.Ptt.RigPort = read.name("RigPort", defaults.Ptt.RigPort);
    state.Ptt.RigSpeed = read.number("RigSpeed", defaults.Ptt.RigSpeed, 0, RigSpeedMax);
    state.Ptt.Cm108Device = read.name("Cm108Device", defaults.Ptt.Cm108Device);
    state.Ptt.Cm108Gpio
        = read.number("Cm108Gpio", defaults.Ptt.Cm108Gpio, Cm108GpioMin, Cm108GpioMax);
    state.Ptt.LeadMs = read.number("LeadMs", defaults.Ptt.LeadMs, 0, LeadMsMax);
    state.Ptt.TailMs = read.number("TailMs", defaults.Ptt.TailMs, 0, TailMsMax);
    state.Ptt.TimeoutS = read.number("TimeoutS", defaults.Ptt.TimeoutS, 0, TimeoutSMax);
    return read.problems;
}

QList<QByteArray> PttSettings::write(ProfileText &file, const AppState &state,
                                     const AppState &asRead, const char *Section)
{
    const AppState defaults;
    const bool differs = state.Ptt.PttMethod != defaults.Ptt.PttMethod
                         || state.Ptt.SerialDevice != defaults.Ptt.SerialDevice
                         || state.Ptt.RigModel != defaults.Ptt.RigModel
                         || state.Ptt.RigPort != defaults.Ptt.RigPort
                         || state.Ptt.RigSpeed != defaults.Ptt.RigSpeed
                         || state.Ptt.Cm108Device != defaults.Ptt.Cm108Device
                         || state.Ptt.Cm108Gpio != defaults.Ptt.Cm108Gpio
                         || state.Ptt.LeadMs != defaults.Ptt.LeadMs
                         || state.Ptt.TailMs != defaults.Ptt.TailMs
                         || state.Ptt.TimeoutS != defaults.Ptt.TimeoutS;
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
    put("Method", methodText(s.Ptt.PttMethod), s.Ptt.PttMethod == r.Ptt.PttMethod);
    put("SerialDevice", FileNames::encode(s.Ptt.SerialDevice),
        s.Ptt.SerialDevice == r.Ptt.SerialDevice);
    put("RigModel", QByteArray::number(s.Ptt.RigModel), s.Ptt.RigModel == r.Ptt.RigModel);
    put("RigPort", FileNames::encode(s.Ptt.RigPort), s.Ptt.RigPort == r.Ptt.RigPort);
    put("RigSpeed", QByteArray::number(s.Ptt.RigSpeed), s.Ptt.RigSpeed == r.Ptt.RigSpeed);
    put("Cm108Device", FileNames::encode(s.Ptt.Cm108Device),
        s.Ptt.Cm108Device == r.Ptt.Cm108Device);
    put("Cm108Gpio", QByteArray::number(s.Ptt.Cm108Gpio), s.Ptt.Cm108Gpio == r.Ptt.Cm108Gpio);
    put("LeadMs", QByteArray::number(s.Ptt.LeadMs), s.Ptt.LeadMs == r.Ptt.LeadMs);
    put("TailMs", QByteArray::number(s.Ptt.TailMs), s.Ptt.TailMs == r.Ptt.TailMs);
    put("TimeoutS", QByteArray::number(s.Ptt.TimeoutS), s.Ptt.TimeoutS == r.Ptt.TimeoutS);
    return refused;
}

QString PttSettings::sharedWith(const PttValues &second, const PttValues &first)
{
    if (second.PttMethod != first.PttMethod)
        return {};
    switch (second.PttMethod) {
    case KeyingMethod::Serial:
        if (second.SerialDevice == first.SerialDevice && second.ComNum == first.ComNum)
            return QStringLiteral("its PTT is the first radio's serial port");
        return {};
    case KeyingMethod::Cat:
        if (second.RigModel == first.RigModel && second.RigPort == first.RigPort)
            return QStringLiteral("its rig is the first radio's (%1)").arg(second.RigPort);
        return {};
    case KeyingMethod::Cm108:
        if (second.Cm108Device == first.Cm108Device && second.Cm108Gpio == first.Cm108Gpio)
            return QStringLiteral("its CM108 pin is the first radio's");
        return {};
    case KeyingMethod::None:
        return {};
    }
    return {};
}
