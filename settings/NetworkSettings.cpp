// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/NetworkSettings.h"

#include "settings/ProfileText.h"
#include "settings/TextRules.h"
#include "station/LogText.h"

#include <QSysInfo>

#include <algorithm>

using namespace TextRules;

namespace {

constexpr char Section[] = "Network";
constexpr int MaxHostName = 253;

// A port: decimal digits only, 1 to 65535.
std::optional<quint16> portValue(QStringView text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    int value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < 1 || value > 65535)
        return std::nullopt;
    return quint16(value);
}

// An IPv6 address, with its zone after '%' when it has one ("fe80::1%eth0").
bool isIpv6Text(QStringView text)
{
    const qsizetype percent = text.indexOf(u'%');
    const QStringView address = percent < 0 ? text : text.left(percent);
    const QStringView zone = percent < 0 ? QStringView() : text.mid(percent + 1);
    if (address.isEmpty() || address.size() > 45 || !address.contains(u':') || zone.size() > 16
        || (percent >= 0 && zone.isEmpty()))
        return false;
    const auto ascii = [](QChar c) {
        return c.unicode() < 128;
    };
    return std::all_of(address.begin(), address.end(),
                       [&](QChar c) {
                           return ascii(c)
                                  && (c.isDigit() || c == u':' || c == u'.'
                                      || QStringLiteral("abcdefABCDEF").contains(c));
                       })
           && std::all_of(zone.begin(), zone.end(),
                          [&](QChar c) { return ascii(c) && (c.isLetterOrNumber() || c == u'_'); });
}

// A host name or an IPv4 address: labels of letters, digits, '-' and '_' between dots; four
// labels of digits alone are an address, each of them 0 to 255.
bool isHostText(QStringView text)
{
    if (text.isEmpty() || text.size() > MaxHostName)
        return false;
    bool allDigits = true;
    int labels = 0;
    for (QStringView label : text.split(u'.')) {
        if (label.isEmpty() || label.size() > 63)
            return false;
        for (QChar c : label) {
            if (c.unicode() > 127 || !(c.isLetterOrNumber() || c == u'-' || c == u'_'))
                return false;
        }
        bool number = false;
        const int value = label.toInt(&number);
        allDigits = allDigits && number && label.size() <= 3 && value <= 255;
        ++labels;
        if (label.front() == u'-' || label.back() == u'-')
            return false;
    }
    const bool digitsOnly
        = std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() || c == u'.'; });
    return !digitsOnly || (allDigits && labels == 4);
}

std::optional<NetworkSettings::Destination> destinationValue(QStringView entry)
{
    QStringView host;
    QStringView port;
    if (entry.startsWith(u'[')) {
        const qsizetype close = entry.indexOf(u"]:");
        if (close < 0)
            return std::nullopt;
        host = entry.mid(1, close - 1);
        port = entry.mid(close + 2);
        if (!isIpv6Text(host))
            return std::nullopt;
    } else {
        const qsizetype colon = entry.lastIndexOf(u':');
        if (colon < 0)
            return std::nullopt;
        host = entry.left(colon);
        port = entry.mid(colon + 1);
        if (!isHostText(host))
            return std::nullopt;
    }
    const std::optional<quint16> number = portValue(port);
    if (!number)
        return std::nullopt;
    return NetworkSettings::Destination{host.toString(), *number};
}

template<typename T>
struct Choice
{
    T value;
    const char *name;
};
constexpr Choice<InterlockMode> Interlocks[]
    = {{InterlockMode::Off, "off"}, {InterlockMode::Band, "band"}, {InterlockMode::All, "all"}};
constexpr Choice<StationRole> Roles[] = {{StationRole::Run, "run"}, {StationRole::Sp, "sp"}};

template<typename T, size_t N>
QString choiceText(const Choice<T> (&choices)[N], T value)
{
    for (const Choice<T> &choice : choices) {
        if (choice.value == value)
            return QLatin1String(choice.name);
    }
    return QLatin1String(choices[0].name);
}

// Reads the keys, noting each value that is not taken.
class Reader
{
public:
    explicit Reader(const ProfileText &file) : m_file(file) { }

    // The key's text (blanks around it removed), when the file has the key.
    std::optional<QString> text(const char *key) const
    {
        if (!m_file.contains(Section, key))
            return std::nullopt;
        return QString::fromUtf8(trimBlanks(m_file.value(Section, key, "")));
    }

    template<typename T, size_t N>
    T choice(const char *key, const Choice<T> (&choices)[N], T fallback)
    {
        const std::optional<QString> value = text(key);
        if (!value)
            return fallback;
        for (const Choice<T> &entry : choices) {
            if (value->compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
                return entry.value;
        }
        QStringList names;
        for (const Choice<T> &entry : choices)
            names << QLatin1String(entry.name);
        const QString last = names.takeLast();
        complain(key, *value, names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last,
                 choiceText(choices, fallback));
        return fallback;
    }

    void complain(const char *key, const QString &value, const QString &accepted,
                  const QString &used)
    {
        problems << QStringLiteral("[Network] %1=%2 is not %3: %4 is used")
                        .arg(QLatin1String(key), LogText::quoted(value), accepted, used);
    }

    QStringList problems;

private:
    const ProfileText &m_file;
};

} // namespace

ResultOf<QList<NetworkSettings::Destination>> NetworkSettings::destinations(QStringView text)
{
    QList<Destination> list;
    if (text.trimmed().isEmpty())
        return {list};
    for (QStringView entry : text.split(u',')) {
        entry = entry.trimmed();
        const std::optional<Destination> destination = destinationValue(entry);
        if (!destination)
            return ResultOf<QList<Destination>>::failure(
                QStringLiteral("%1 is not host:port (a port from 1 to 65535)")
                    .arg(LogText::quoted(entry)));
        if (!list.contains(*destination))
            list << *destination;
    }
    return {list};
}

ResultOf<int> NetworkSettings::listenPort(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return {0};
    if (const std::optional<quint16> port = portValue(text))
        return {*port};
    return ResultOf<int>::failure(
        QStringLiteral("%1 is not a UDP port from 1 to 65535").arg(LogText::quoted(text)));
}

ResultOf<QString> NetworkSettings::stationName(QStringView text)
{
    text = text.trimmed();
    const bool control = std::any_of(text.begin(), text.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
    });
    if (text.size() <= MaxStationName && !control)
        return {text.toString()};
    return ResultOf<QString>::failure(
        QStringLiteral("%1 is not a name of at most %2 characters without control characters")
            .arg(LogText::quoted(text))
            .arg(MaxStationName));
}

QString NetworkSettings::effectiveStationName(const Values &values)
{
    if (!values.StationName.isEmpty())
        return values.StationName;
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("VoiceVocta") : host.left(MaxStationName);
}

QString NetworkSettings::interlockText(InterlockMode mode)
{
    return choiceText(Interlocks, mode);
}

QString NetworkSettings::roleText(StationRole role)
{
    return choiceText(Roles, role);
}

QStringList NetworkSettings::read(const ProfileText &file, AppState &state)
{
    const Values defaults;
    Values &v = state.Network;
    v = defaults;
    Reader read(file);
    // A text key: the value when `check` takes it, else the default and a line.
    const auto textKey = [&](const char *key, auto check, const QString &used) {
        std::optional<decltype(check(QStringView()).value)> value;
        if (const std::optional<QString> text = read.text(key)) {
            auto checked = check(*text);
            if (checked)
                value = std::move(checked.value);
            else
                read.problems << QStringLiteral("[Network] %1: %2: %3")
                                     .arg(QLatin1String(key), checked.error, used);
        }
        return value;
    };
    if (textKey("RadioInfo", &destinations, QStringLiteral("nothing is sent")))
        v.RadioInfo = *read.text("RadioInfo");
    v.StationName = textKey("StationName", &stationName, QStringLiteral("the host name is used"))
                        .value_or(defaults.StationName);
    v.Listen = textKey("Listen", &listenPort, QStringLiteral("nothing is heard"))
                   .value_or(defaults.Listen);
    v.Interlock = read.choice("Interlock", Interlocks, defaults.Interlock);
    if (const std::optional<QString> text = read.text("PeerTimeoutS")) {
        if (const std::optional<int> value
            = wholeNumberIn(text->toUtf8(), MinPeerTimeoutS, MaxPeerTimeoutS))
            v.PeerTimeoutS = *value;
        else
            read.complain("PeerTimeoutS", *text,
                          QStringLiteral("a whole number from %1 to %2")
                              .arg(MinPeerTimeoutS)
                              .arg(MaxPeerTimeoutS),
                          QString::number(defaults.PeerTimeoutS));
    }
    v.Role = read.choice("Role", Roles, defaults.Role);
    return read.problems;
}

QList<QByteArray> NetworkSettings::write(ProfileText &file, const AppState &state,
                                         const AppState &asRead)
{
    const Values defaults;
    const Values &s = state.Network;
    const Values &r = asRead.Network;
    QList<QByteArray> refused;
    const auto put = [&](const char *key, const QString &value, bool isDefault, bool unchanged) {
        const bool present = file.contains(Section, key);
        if ((present && unchanged) || (!present && isDefault))
            return;
        if (!file.setValue(Section, key, value.toUtf8()))
            refused.append(QByteArray(Section) + '/' + key);
    };
    put("RadioInfo", s.RadioInfo, s.RadioInfo.isEmpty(), s.RadioInfo == r.RadioInfo);
    put("StationName", s.StationName, s.StationName.isEmpty(), s.StationName == r.StationName);
    put("Listen", s.Listen > 0 ? QString::number(s.Listen) : QString(), s.Listen == 0,
        s.Listen == r.Listen);
    put("Interlock", interlockText(s.Interlock), s.Interlock == defaults.Interlock,
        s.Interlock == r.Interlock);
    put("PeerTimeoutS", QString::number(s.PeerTimeoutS), s.PeerTimeoutS == defaults.PeerTimeoutS,
        s.PeerTimeoutS == r.PeerTimeoutS);
    put("Role", roleText(s.Role), s.Role == defaults.Role, s.Role == r.Role);
    return refused;
}
