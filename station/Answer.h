// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the station answers to an event it is handed (Station::handle): carried out, refused (and
// why; the refusal face shows), left without effect, or queued behind the event being applied
// (it is carried out once that one is done, and its own answer is not known to the caller).
struct Answer
{
    enum class Outcome { Done, Refused, Ignored, Queued };
    enum class Reason {
        None,
        Busy, // another message is busy
        Recording, // the recorder records
        OutputAbsent, // the chosen sound output is not there
        NoSuchMemory, // no memory of that number
        CannotKey, // it plays, but the keyer cannot key the transmitter now
        KeyedElsewhere, // another program keyed the transmitter
        Unplayable, // the file cannot be played
        TooLate, // it came after its caller gave up on it
        Interlocked, // the other radio's transmitter is keyed
        Inhibited, // another station on the band transmits
    };

    Outcome outcome = Outcome::Done;
    Reason reason = Reason::None;

    bool done() const { return outcome == Outcome::Done; }
    static Answer refused(Reason why) { return {Outcome::Refused, why}; }
    static Answer ignored() { return {Outcome::Ignored, Reason::None}; }
    static Answer queued() { return {Outcome::Queued, Reason::None}; }
    bool operator==(const Answer &) const = default;
};
