// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// One radio of a station as the station network tells it: N1MM Logger+'s RadioInfo datagram (UDP,
// XML), which loggers, score boards, dashboards and band or antenna controllers read. The members
// are its elements, in its order; frequencies are in units of 10 Hz (1420500 is 14.205 MHz).
struct RadioInfo
{
    // The largest datagram read, and the largest frequency (100 GHz) and text that one may hold.
    static constexpr qsizetype MaxDatagram = 65536;
    static constexpr qint64 MaxFreq = 10'000'000'000;
    static constexpr qsizetype MaxText = 256;

    QString app = QStringLiteral("VoiceVocta"); // the sender's name
    QString StationName;
    int RadioNr = 1; // 0 to 255
    qint64 Freq = 0; // 0: unknown
    qint64 TXFreq = 0;
    QString Mode; // "USB", "LSB", "CW" ...
    QString OpCall;
    bool IsRunning = true; // false: a search-and-pounce station
    qint64 FocusEntry = 0;
    qint64 EntryWindowHwnd = 0;
    int Antenna = 0; // -1 to 255
    QString Rotors;
    int FocusRadioNr = 1; // 0 to 255
    bool IsStereo = false;
    bool IsSplit = false;
    int ActiveRadioNr = 1; // the radio with transmit focus, 0 to 255
    bool IsTransmitting = false;
    QString FunctionKeyCaption; // what is being sent ("F1 CQ")
    QString RadioName;
    int AuxAntSelected = -1; // -1: none; to 255
    QString AuxAntSelectedName;
    bool IsConnected = false;

    // Frequencies in Hz, and Hz in the datagram's units (rounded).
    quint64 freqHz() const { return quint64(Freq) * 10; }
    quint64 txFreqHz() const { return quint64(TXFreq) * 10; }
    static qint64 tenHz(quint64 hz) { return qint64((hz + 5) / 10); }

    // The datagram: an XML declaration, then <RadioInfo> with every element in the format's order,
    // booleans as True/False, texts escaped (characters that XML cannot hold left out).
    QByteArray encode() const;

    // A datagram read strictly: refused, with a short reason, when it is larger than MaxDatagram,
    // truncated, not UTF-8, not well-formed XML, holds a DTD or an entity of its own, lacks
    // StationName (or has an empty one), RadioNr or IsTransmitting, holds an element twice, a text
    // longer than MaxText or a number out of its range (a frequency from 0 to MaxFreq). Elements it
    // does not know are ignored; a known one that is empty or missing keeps its default (a Freq
    // missing is 0, unknown; IsRunning missing is True). Booleans are True or False in any case,
    // or 1 or 0.
    static ResultOf<RadioInfo> decode(QByteArrayView datagram);

    bool operator==(const RadioInfo &) const = default;
};
