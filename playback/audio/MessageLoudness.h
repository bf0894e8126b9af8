// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/AudioSource.h"

#include <QString>

#include <memory>

// How loud the messages play. The sound player asks at every open, on the UI thread, for the
// source as it is to play: the one it opened where messages play as recorded, else one that plays
// it at the one gain that brings it to the station's loudness (measured, where it is not yet, by
// the source's settle() on the player's worker, ahead of the output's getting ready for it).
class MessageLoudness
{
public:
    virtual ~MessageLoudness() = default;
    virtual std::unique_ptr<AudioSource> leveled(const QString &path,
                                                 std::unique_ptr<AudioSource> source)
        = 0;
};
