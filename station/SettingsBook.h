// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/AppState.h"
#include "station/Result.h"

// The one way to change a radio's settings. The values live in an AppState that its owner holds
// (the program, the second radio, a test); everything else reads them through a const reference
// and changes an area only here, by one call with the whole area's new value. A value outside
// what the settings file can hold (a lead of −1 ms, a level of 300 %, a loudness of +3 LUFS) is
// refused with the reason, and the area stays as it was.
class SettingsBook
{
public:
    explicit SettingsBook(AppState &values) : m_values(values) { }
    SettingsBook(const SettingsBook &) = delete;
    SettingsBook &operator=(const SettingsBook &) = delete;

    const AppState &values() const { return m_values; }

    Result apply(const MemoryValues &memories);
    Result apply(const PttValues &ptt);
    Result apply(const AudioValues &audio);
    Result apply(const KitValues &kit);
    Result apply(const FontValues &fonts);
    Result apply(const NetworkValues &network);
    Result apply(const So2rChoice &so2r);
    // Applies the area `member` of the values as `change` leaves a copy of it.
    template<typename Area, typename Change>
    Result edit(Area AppState::*member, Change change)
    {
        Area area = m_values.*member;
        change(area);
        return apply(area);
    }
    // Where the program's files are: found once at start-up.
    void setPlaces(const PlaceValues &places) { m_values.Places = places; }

    // Every area at once, as the settings file was read: each area that is refused keeps its
    // value, and the reasons are joined.
    Result applyAll(const AppState &read);

    static Result check(const PttValues &ptt);
    static Result check(const AudioValues &audio);
    static Result check(const KitValues &kit);
    static Result check(const NetworkValues &network);

private:
    template<typename Area>
    Result store(Area &area, const Area &value, Result verdict);

    AppState &m_values;
};
