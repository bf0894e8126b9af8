// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/StationRemote.h"

struct AppState;
class MemoryBank;
class Keying;
class RecordSetHandler;
class Refusal;

// The station as the keys and other programs drive it, over the very handlers that the mouse
// reaches: the memory bank's click, the keying's Lock and StdBy clicks, the refusal signal and
// the recorder's dialog. The station calls notify() after every event that can change what is
// reported; changed() follows when it did.
class VoiceVoctaRemote : public StationRemote
{
    Q_OBJECT
public:
    struct Handlers
    {
        AppState &state;
        MemoryBank &bank;
        Keying &keying;
        Refusal &refusal;
        RecordSetHandler &recordSet;
    };

    explicit VoiceVoctaRemote(const Handlers &handlers, QObject *parent = nullptr);

    void clickMemory(int number) override;
    void clickLock() override;
    void clickStandby() override;
    void showRefusal() override;
    void openRecorder(int number) override;
    Status status() const override;

    // Says changed() when the status differs from the one last said.
    void notify();

private:
    Handlers m_handlers;
    Status m_said;
};
