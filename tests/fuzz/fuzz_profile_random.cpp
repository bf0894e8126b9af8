// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the settings-file fuzz check on N random inputs without libFuzzer:
//   fuzz_profile_random [N=1000000] [seed]
// Half the inputs are raw noise, half are built from the pieces settings files are made of.
#include "tests/fuzz/ProfileFuzz.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <cstdio>
#include <cstdlib>

namespace {

const QList<QByteArray> Pieces{"[A]",
                               "[a]",
                               "[COM]",
                               "[ com ]",
                               "[MEMORY_1]",
                               "[x y]",
                               "[",
                               "]",
                               "k=",
                               "K =",
                               "Num=",
                               " NUM = ",
                               "FileName=",
                               "a b=",
                               "=",
                               " ",
                               "\t",
                               "\r",
                               "\n",
                               "\r\n",
                               "\n",
                               "\n",
                               QByteArray("\0", 1),
                               "\"",
                               "'",
                               ";",
                               "#",
                               "1",
                               "0",
                               "2.5",
                               "&H",
                               "&O",
                               "e",
                               "D",
                               "-",
                               "+",
                               ".",
                               "9999",
                               "1e308",
                               "x",
                               "\xEF\xBB\xBF",
                               "\xC3\xA9",
                               "\xE9"};

QByteArray randomInput(QRandomGenerator &random)
{
    QByteArray input;
    for (int i = 0; i < 3; ++i)
        input += char(random.bounded(256));
    if (random.bounded(2) == 0) {
        const int size = random.bounded(512);
        for (int i = 0; i < size; ++i)
            input += char(random.bounded(256));
    } else {
        const int count = random.bounded(64);
        for (int i = 0; i < count; ++i) {
            if (random.bounded(16) == 0)
                input += char(random.bounded(256));
            else
                input += Pieces[random.bounded(Pieces.size())];
        }
    }
    return input;
}

} // namespace

int main(int argc, char **argv)
{
    const long long count = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const quint32 seed = argc > 2 ? quint32(std::strtoul(argv[2], nullptr, 10)) : 1;
    QRandomGenerator random(seed);
    for (long long i = 0; i < count; ++i) {
        const QByteArray input = randomInput(random);
        fuzzProfileOnce(reinterpret_cast<const std::uint8_t *>(input.constData()),
                        std::size_t(input.size()));
    }
    std::printf("fuzz_profile_random: %lld inputs (seed %u), no rule broken\n", count, seed);
    return 0;
}
