// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>

std::optional<int> CommandLine::answer(int argc, char **argv)
{
    if (argc != 2 || !argv[1])
        return std::nullopt;
    const char *argument = argv[1];
    if (std::strcmp(argument, "--version") == 0) {
        std::fputs("voicevocta " VV_VERSION "\n", stdout);
        return 0;
    }
    if (std::strcmp(argument, "--help") != 0 && std::strcmp(argument, "-h") != 0)
        return std::nullopt;
    std::fputs(
        "Usage: voicevocta [--help | --version]\n"
        "Voice Vocta " VV_VERSION ", a voice keyer for amateur-radio stations: it plays spoken\n"
        "messages into the transmitter's microphone input and keys its push-to-talk.\n"
        "\n"
        "  -h, --help  print this help and end\n"
        "  --version   print the version and end\n"
        "\n"
        "Any other command line is ignored, the toolkit's own options (-platform, -style ...)\n"
        "included; its environment variables (QT_QPA_PLATFORM ...) still apply. Loggers and\n"
        "scripts drive the running program with voicevocta-send (voicevocta-send --help).\n"
        "The manual: man voicevocta.\n",
        stdout);
    return 0;
}
