// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

// Puts back (unmutes) microphones through the sound server the environment names (as the program
// reached it), for the guard after the program's end: a server or a source that does not answer
// is tried again until `giveUpAfter` has passed (a server that restarts, a codec plugged back).
// `say` is told once what came of each. Blocks; the guard calls it on a thread of its own.
void restoreSources(const QStringList &sources, std::chrono::seconds giveUpAfter,
                    const std::function<void(const QString &)> &say);
