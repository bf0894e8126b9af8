// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibSettings.h"
#include "ptt/PttDevices.h"
#include "ptt/RigConnection.h"

#include <QList>
#include <QString>
#include <memory>

// What the program asks of hamlib, which lives in a module of its own (voicevocta-hamlib.so, see
// RigModule): a station keyed through its serial lines never loads hamlib and its backends.
// Nothing here names hamlib's own types, so the program is built without its headers.

// The module's offer. Its calls are made on the UI thread, except those of the connections it
// makes, which belong to the thread that uses them.
class RigLibrary
{
public:
    // Changes whenever these classes do: a module of another build is not used.
    static constexpr int Version = 2;
    // The module's one entry point: `RigLibrary *voicevocta_rig_library(int version)`, null when
    // it is not of `version`.
    static constexpr const char *EntryPoint = "voicevocta_rig_library";

    virtual ~RigLibrary() = default;

    // A link to the rig that `settings` name; nothing is opened yet.
    virtual std::unique_ptr<RigConnection> connect(const HamlibSettings &settings) = 0;
    // Every rig model that hamlib knows, by manufacturer and then model name.
    virtual QList<PttDevices::RigModel> models() = 0;
};
