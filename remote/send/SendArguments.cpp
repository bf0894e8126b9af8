// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/send/SendArguments.h"
#include "station/AppState.h"
#include "station/LogText.h"

#include <QDir>
#include <QStringDecoder>

namespace {

struct CommandName
{
    const char *name;
    SendArguments::Command command;
    int minArguments;
    int maxArguments; // -1: any number
    bool waits;
};

constexpr CommandName Commands[] = {
    {"play", SendArguments::Command::Play, 1, 1, true},
    {"stop", SendArguments::Command::Stop, 0, 0, false},
    {"lock", SendArguments::Command::Lock, 1, 1, false},
    {"standby", SendArguments::Command::Standby, 1, 1, false},
    {"file", SendArguments::Command::File, 1, 1, true},
    {"say", SendArguments::Command::Say, 1, -1, true},
    {"status", SendArguments::Command::Status, 0, 0, false},
    {"focus", SendArguments::Command::Focus, 1, 1, false},
};

// Text from the command line: UTF-8, or nothing (a D-Bus string must be valid UTF-8).
bool utf8(const QByteArray &bytes, QString *text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *text = decoder.decode(bytes);
    return !decoder.hasError();
}

bool isNumber(const QByteArray &argument)
{
    bool ok = false;
    argument.toInt(&ok);
    return ok;
}

} // namespace

QString SendArguments::usage()
{
    const QString text = QStringLiteral(
        "Usage: voicevocta-send [--wait] COMMAND [ARGUMENT...]\n"
        "Drives the running Voice Vocta keyer over the session bus.\n"
        "\n"
        "  play N          play memory N (1 to %1), as a left click on it does\n"
        "  stop            stop the message that plays or waits for its repeat\n"
        "  lock on|off     engage or release Lock\n"
        "  standby on|off  engage or release standby\n"
        "  file PATH       play a WAV or MIDI file as a message\n"
        "  say TEXT...     speak the text from the voice kit\n"
        "  status          print the keyer's state, one key=value a line\n"
        "  focus R         give the operator's focus to radio R (1 or 2)\n"
        "\n"
        "  --radio R       with play, file and say: on radio R rather than the one with\n"
        "                  the focus\n"
        "  --wait          with play, file and say: return when the message's audio has\n"
        "                  ended (for a repeating memory, its first play); SIGTERM or\n"
        "                  SIGINT meanwhile stops the message\n"
        "\n"
        "Exit status: 0 done (with --wait: the message ended), 1 refused by the keyer,\n"
        "2 stopped before its end, 3 no keyer running, 64 a wrong command line.\n");
    return text.arg(MemoryCount);
}

namespace {

using Command = SendArguments::Command;

// The options, and the words that are not options; `help` when help is asked for.
Result readOptions(const QList<QByteArray> &arguments, SendArguments *result,
                   QList<QByteArray> &words, bool &help)
{
    bool options = true;
    bool radioNext = false;
    for (const QByteArray &argument : arguments) {
        if (radioNext) {
            radioNext = false;
            bool ok = false;
            result->radio = argument.toInt(&ok);
            if (!ok)
                return Result::failure(QStringLiteral("--radio takes a radio number, 1 or 2"));
        } else if (options && argument == "--radio") {
            radioNext = true;
        } else if (options && argument == "--") {
            options = false;
        } else if (options && argument == "--wait") {
            result->wait = true;
        } else if (options && (argument == "--help" || argument == "-h")) {
            result->command = Command::Help;
            help = true;
            return {};
        } else if (options && argument.startsWith('-') && argument.size() > 1
                   && !isNumber(argument)) {
            return Result::failure(QStringLiteral("unknown option %1")
                                       .arg(LogText::quoted(QString::fromLocal8Bit(argument))));
        } else {
            words.append(argument);
        }
    }
    if (radioNext)
        return Result::failure(QStringLiteral("--radio takes a radio number, 1 or 2"));
    return {};
}

// The command's own arguments.
Result readCommandArguments(const CommandName *found, const QList<QByteArray> &rest,
                            SendArguments *result)
{
    switch (found->command) {
    case Command::Focus: {
        bool ok = false;
        result->radio = QString::fromLocal8Bit(rest.first()).toInt(&ok);
        if (!ok)
            return Result::failure(QStringLiteral("focus takes a radio number, 1 or 2"));
        break;
    }
    case Command::Play: {
        bool ok = false;
        result->memory = QString::fromLocal8Bit(rest.first()).toInt(&ok);
        if (!ok)
            return Result::failure(
                QStringLiteral("play takes a memory number, 1 to %1").arg(MemoryCount));
        break;
    }
    case Command::Lock:
    case Command::Standby:
        if (rest.first() != "on" && rest.first() != "off")
            return Result::failure(
                QStringLiteral("%1 takes on or off").arg(QLatin1String(found->name)));
        result->on = rest.first() == "on";
        break;
    case Command::File:
        if (!utf8(rest.first(), &result->path) || result->path.isEmpty())
            return Result::failure(
                QStringLiteral("the file's name is not UTF-8 text; rename the file"));
        result->path = QDir::cleanPath(QDir::current().absoluteFilePath(result->path));
        break;
    case Command::Say:
        for (const QByteArray &word : rest) {
            QString text;
            if (!utf8(word, &text))
                return Result::failure(QStringLiteral("the text is not UTF-8"));
            result->text += (result->text.isEmpty() ? QString() : QStringLiteral(" ")) + text;
        }
        break;
    case Command::Stop:
    case Command::Status:
    case Command::Help:
        break;
    }
    return {};
}

} // namespace

Result SendArguments::parse(const QList<QByteArray> &arguments, SendArguments *result)
{
    *result = SendArguments();
    QList<QByteArray> words;
    bool help = false;
    if (const Result options = readOptions(arguments, result, words, help); !options || help)
        return options;
    if (words.isEmpty())
        return Result::failure(QStringLiteral("no command given"));
    const CommandName *found = nullptr;
    for (const CommandName &entry : Commands) {
        if (words.first() == entry.name)
            found = &entry;
    }
    if (!found)
        return Result::failure(QStringLiteral("unknown command %1")
                                   .arg(LogText::quoted(QString::fromLocal8Bit(words.first()))));
    const QList<QByteArray> rest = words.mid(1);
    if (rest.size() < found->minArguments
        || (found->maxArguments >= 0 && rest.size() > found->maxArguments))
        return Result::failure(QStringLiteral("%1 takes %2")
                                   .arg(QLatin1String(found->name),
                                        found->maxArguments == 0 ? QStringLiteral("no argument")
                                        : found->maxArguments < 0
                                            ? QStringLiteral("a text")
                                            : QStringLiteral("one argument")));
    if (result->wait && !found->waits)
        return Result::failure(QStringLiteral("--wait goes with play, file and say"));
    if (result->radio != 0 && !found->waits)
        return Result::failure(QStringLiteral("--radio goes with play, file and say"));
    result->command = found->command;
    return readCommandArguments(found, rest, result);
}
