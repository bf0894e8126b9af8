// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/GuardProtocol.h"

#include <QList>
#include <QMap>

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace GuardProtocol {

namespace {

const QByteArray Words[] = {"rig",     "norig", "port",     "levels", "noport", "bye",
                            "sources", "keyed", "released", "ping",   "pong",   "tookover"};

QByteArray levelText(const std::optional<bool> &level)
{
    return level ? QByteArray(*level ? "1" : "0") : QByteArray("-");
}

// "-" (no level), "0" or "1"; false for anything else.
bool levelOf(const QByteArray &text, std::optional<bool> &level)
{
    level.reset();
    if (text == "0" || text == "1")
        level = text == "1";
    return level || text == "-";
}

} // namespace

QByteArray encode(const Message &message)
{
    QByteArray bytes = Words[int(message.kind)];
    const auto put = [&bytes](const char *key, const QByteArray &value) {
        bytes += '\n' + QByteArray(key) + '=' + value.toPercentEncoding();
    };
    switch (message.kind) {
    case Message::Kind::Rig: {
        const HamlibSettings &rig = message.rig;
        put("method", rig.method == HamlibSettings::Method::Cm108 ? "cm108" : "cat");
        put("model", QByteArray::number(rig.rigModel));
        put("port", rig.rigPort.toUtf8());
        put("speed", QByteArray::number(rig.rigSpeed));
        put("cm108", rig.cm108Device.toUtf8());
        put("gpio", QByteArray::number(rig.cm108Gpio));
        break;
    }
    case Message::Kind::Port:
    case Message::Kind::Levels:
        put("rts", levelText(message.levels.rts));
        put("dtr", levelText(message.levels.dtr));
        break;
    case Message::Kind::Sources: {
        QByteArrayList names;
        for (const QString &name : message.sources)
            names << name.toUtf8().toPercentEncoding();
        put("names", names.join(','));
        break;
    }
    case Message::Kind::Keyed:
        put("timeout", QByteArray::number(message.timeout));
        break;
    case Message::Kind::TookOver:
        put("reason", message.reason.toUtf8());
        break;
    default:
        break;
    }
    return bytes;
}

std::optional<Message> decode(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    Message message;
    const auto word = std::find(std::begin(Words), std::end(Words), lines.takeFirst());
    if (word == std::end(Words))
        return std::nullopt;
    message.kind = Message::Kind(word - std::begin(Words));
    QMap<QByteArray, QByteArray> values;
    for (const QByteArray &line : lines) {
        const int equals = line.indexOf('=');
        if (equals <= 0)
            return std::nullopt;
        values.insert(line.left(equals), QByteArray::fromPercentEncoding(line.mid(equals + 1)));
    }
    bool ok = true;
    const auto number = [&](const char *key) {
        bool read = false;
        const int value = values.value(key).toInt(&read);
        ok = ok && read;
        return value;
    };
    switch (message.kind) {
    case Message::Kind::Rig: {
        HamlibSettings &rig = message.rig;
        rig.method = values.value("method") == "cm108" ? HamlibSettings::Method::Cm108
                                                       : HamlibSettings::Method::Cat;
        rig.rigModel = number("model");
        rig.rigPort = QString::fromUtf8(values.value("port"));
        rig.rigSpeed = number("speed");
        rig.cm108Device = QString::fromUtf8(values.value("cm108"));
        rig.cm108Gpio = number("gpio");
        break;
    }
    case Message::Kind::Port:
    case Message::Kind::Levels: {
        ok = levelOf(values.value("rts"), message.levels.rts)
             && levelOf(values.value("dtr"), message.levels.dtr);
        break;
    }
    case Message::Kind::Sources:
        for (const QByteArray &name : values.value("names").split(','))
            if (!name.isEmpty())
                message.sources << QString::fromUtf8(QByteArray::fromPercentEncoding(name));
        break;
    case Message::Kind::Keyed:
        message.timeout = std::max(0, number("timeout"));
        break;
    case Message::Kind::TookOver:
        message.reason = QString::fromUtf8(values.value("reason"));
        break;
    default:
        break;
    }
    return ok ? std::optional(message) : std::nullopt;
}

bool send(int socket, const Message &message, int descriptor)
{
    QByteArray bytes = encode(message);
    iovec part = {bytes.data(), size_t(bytes.size())};
    msghdr header = {};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (descriptor >= 0) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr *attached = CMSG_FIRSTHDR(&header);
        attached->cmsg_level = SOL_SOCKET;
        attached->cmsg_type = SCM_RIGHTS;
        attached->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(attached), &descriptor, sizeof(int));
    }
    return ::sendmsg(socket, &header, MSG_NOSIGNAL) == ssize_t(bytes.size());
}

ssize_t receive(int socket, QByteArray &bytes, int *descriptor, int flags)
{
    bytes.resize(MaxMessage);
    iovec part = {bytes.data(), size_t(bytes.size())};
    msghdr header = {};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    *descriptor = -1;
    const ssize_t length = ::recvmsg(socket, &header, flags | MSG_CMSG_CLOEXEC);
    bytes.resize(std::max<ssize_t>(0, length));
    for (cmsghdr *attached = CMSG_FIRSTHDR(&header); attached;
         attached = CMSG_NXTHDR(&header, attached)) {
        if (attached->cmsg_level == SOL_SOCKET && attached->cmsg_type == SCM_RIGHTS)
            std::memcpy(descriptor, CMSG_DATA(attached), sizeof(int));
    }
    return length;
}

} // namespace GuardProtocol
