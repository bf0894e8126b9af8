// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/RadioInfo.h"

#include "remote/FlatXml.h"
#include "station/Result.h"

#include <limits>
#include <optional>

namespace {

constexpr qint64 Huge = std::numeric_limits<qint64>::max();

// An element of the datagram and the member that holds it: one of the four kinds.
struct Element
{
    const char *name;
    QString RadioInfo::*text = nullptr;
    int RadioInfo::*number = nullptr;
    qint64 RadioInfo::*wide = nullptr;
    bool RadioInfo::*flag = nullptr;
    qint64 min = 0;
    qint64 max = 0;
    bool required = false;
};

Element text(const char *name, QString RadioInfo::*member, bool required = false)
{
    return {name, member, nullptr, nullptr, nullptr, 0, 0, required};
}
Element number(const char *name, int RadioInfo::*member, qint64 min, qint64 max,
               bool required = false)
{
    return {name, nullptr, member, nullptr, nullptr, min, max, required};
}
Element wide(const char *name, qint64 RadioInfo::*member, qint64 min, qint64 max)
{
    return {name, nullptr, nullptr, member, nullptr, min, max};
}
Element flag(const char *name, bool RadioInfo::*member, bool required = false)
{
    return {name, nullptr, nullptr, nullptr, member, 0, 0, required};
}

// The format's elements, in its order.
const Element Elements[] = {
    text("app", &RadioInfo::app),
    text("StationName", &RadioInfo::StationName, true),
    number("RadioNr", &RadioInfo::RadioNr, 0, 255, true),
    wide("Freq", &RadioInfo::Freq, 0, RadioInfo::MaxFreq),
    wide("TXFreq", &RadioInfo::TXFreq, 0, RadioInfo::MaxFreq),
    text("Mode", &RadioInfo::Mode),
    text("OpCall", &RadioInfo::OpCall),
    flag("IsRunning", &RadioInfo::IsRunning),
    wide("FocusEntry", &RadioInfo::FocusEntry, -Huge, Huge),
    wide("EntryWindowHwnd", &RadioInfo::EntryWindowHwnd, -Huge, Huge),
    number("Antenna", &RadioInfo::Antenna, -1, 255),
    text("Rotors", &RadioInfo::Rotors),
    number("FocusRadioNr", &RadioInfo::FocusRadioNr, 0, 255),
    flag("IsStereo", &RadioInfo::IsStereo),
    flag("IsSplit", &RadioInfo::IsSplit),
    number("ActiveRadioNr", &RadioInfo::ActiveRadioNr, 0, 255),
    flag("IsTransmitting", &RadioInfo::IsTransmitting, true),
    text("FunctionKeyCaption", &RadioInfo::FunctionKeyCaption),
    text("RadioName", &RadioInfo::RadioName),
    number("AuxAntSelected", &RadioInfo::AuxAntSelected, -1, 255),
    text("AuxAntSelectedName", &RadioInfo::AuxAntSelectedName),
    flag("IsConnected", &RadioInfo::IsConnected),
};
constexpr int ElementCount = sizeof(Elements) / sizeof(Elements[0]);
static_assert(ElementCount <= 32, "one bit per element");

// Text as XML holds it: the five special characters as references, the characters XML cannot
// hold left out.
void appendEscaped(QByteArray &out, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '"':
            out.append("&quot;");
            break;
        case '\'':
            out.append("&apos;");
            break;
        default:
            if (uchar(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                out.append(c);
        }
    }
}

std::optional<qint64> wholeNumber(QByteArrayView text, qint64 min, qint64 max)
{
    bool negative = text.startsWith('-');
    if (negative || text.startsWith('+'))
        text = text.sliced(1);
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    value = negative ? -value : value;
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<bool> booleanValue(QByteArrayView text)
{
    if (text == "1" || text.compare("true", Qt::CaseInsensitive) == 0)
        return true;
    if (text == "0" || text.compare("false", Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

// Takes one element's text into `info`; a failure, with the reason, when it is out of its rules.
Result take(const Element &element, QByteArrayView value, RadioInfo &info)
{
    const auto refuse = [&](const char *why) {
        return Result::failure(
            QStringLiteral("%1 %2").arg(QLatin1String(element.name), QLatin1String(why)));
    };
    if (element.text) {
        QString text = QString::fromUtf8(value);
        if (text.size() > RadioInfo::MaxText)
            return refuse("is too long");
        if (element.required && text.trimmed().isEmpty())
            return refuse("is empty");
        info.*element.text = std::move(text);
        return {};
    }
    value = value.trimmed();
    if (value.isEmpty())
        return element.required ? refuse("is empty") : Result{};
    if (element.flag) {
        const std::optional<bool> flag = booleanValue(value);
        if (!flag)
            return refuse("is not True or False");
        info.*element.flag = *flag;
        return {};
    }
    const std::optional<qint64> number = wholeNumber(value, element.min, element.max);
    if (!number)
        return refuse("is not a whole number in its range");
    if (element.number)
        info.*element.number = int(*number);
    else
        info.*element.wide = *number;
    return {};
}

} // namespace

QByteArray RadioInfo::encode() const
{
    QByteArray out;
    out.reserve(1024);
    out.append(R"(<?xml version="1.0" encoding="utf-8"?><RadioInfo>)");
    for (const Element &element : Elements) {
        out.append('<').append(element.name).append('>');
        if (element.text)
            appendEscaped(out, this->*element.text);
        else if (element.flag)
            out.append(this->*element.flag ? "True" : "False");
        else if (element.number)
            out.append(QByteArray::number(this->*element.number));
        else
            out.append(QByteArray::number(this->*element.wide));
        out.append("</").append(element.name).append('>');
    }
    out.append("</RadioInfo>");
    return out;
}

ResultOf<RadioInfo> RadioInfo::decode(QByteArrayView datagram)
{
    QString why;
    const auto refuse = [](const QString &text) {
        return ResultOf<RadioInfo>::failure(text);
    };
    if (datagram.size() > MaxDatagram)
        return refuse(QStringLiteral("larger than 64 kB"));
    RadioInfo info;
    info.app.clear();
    quint32 seen = 0;
    FlatXml reader;
    const char *bad = reader.read(datagram, "RadioInfo", [&](const FlatXml::Child &child) {
        for (int i = 0; i < ElementCount; ++i) {
            if (child.name != Elements[i].name)
                continue;
            if (seen & (1u << i)) {
                why = QStringLiteral("%1 twice").arg(QLatin1String(Elements[i].name));
                return false;
            }
            seen |= 1u << i;
            if (child.holdsElements) {
                why = QStringLiteral("%1 holds elements").arg(QLatin1String(Elements[i].name));
                return false;
            }
            if (const Result taken = take(Elements[i], child.text, info); !taken) {
                why = taken.error;
                return false;
            }
            return true;
        }
        return true; // an element of a newer format, or another program's
    });
    if (bad && *bad)
        return refuse(QStringLiteral("%1 (byte %2)").arg(QLatin1String(bad)).arg(reader.at()));
    if (bad)
        return refuse(why);
    for (int i = 0; i < ElementCount; ++i) {
        if (Elements[i].required && !(seen & (1u << i)))
            return refuse(QStringLiteral("no %1").arg(QLatin1String(Elements[i].name)));
    }
    return {info};
}
