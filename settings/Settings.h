// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/ProfileText.h"
#include "settings/SettingsLock.h"
#include "station/AppState.h"
#include "station/SettingsBook.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>
#include <optional>

struct SettingsPlace;

// The station's settings file (AppState::IniFile): loaded once at start-up, saved at the end of
// the program and whenever the operator chooses a memory's file.
//
// The file holds the sections "COM", "MEMORY_1" to "MEMORY_6", "Fonts_1" and "Fonts_2", and
// "Audio" once a sound device or a level was chosen (see AudioSettings), "PTT" once the
// keying differs from the serial lines without lead, tail or time-out (see PttSettings), "Kit"
// once the voice kit's folder or gaps were chosen (see KitSettings), "Network" once a value of the
// station network was chosen (see NetworkSettings), and "SO2R" once an OTRSP box, the interlock or
// alternating was chosen (see So2rSettings). Keys the program does not know, comments and blank
// lines stay in the file untouched.
//
// File names are kept byte for byte (FileNames): a name that is not valid UTF-8 reads, plays and
// is written back as the bytes it is. Font names are stored in the system's 8-bit encoding
// (UTF-8 on Linux); one that is not valid in it, such as a Latin-1 name from an older file, is
// read as Latin-1 and, while unchanged, written back as it was read.
//
// A settings file in UTF-16 is read as no file and never written (Settings says so once).
//
// One running copy of the program owns the file (SettingsLock): a second copy started on the same
// file says so and saves nothing to it, so that it never overwrites the first one's saves.
//
// What the operator must know is said on standard error and told to the window (tell): the file
// in use by another copy, once; a lock that cannot be taken (a link in its place), once; a save
// that fails, the first time (with the file and the reason), and a save that succeeds again after
// that.
class Settings
{
public:
    explicit Settings(SettingsBook &book);

    // What the window does with the settings just read: shows the repeat flags in their boxes and
    // applies the button and label fonts. Called at the end of every ReadMem.
    void setShowRead(std::function<void()> show) { m_showRead = std::move(show); }
    // How a message reaches the operator in the window (`problem` false: good news).
    void setTell(std::function<void(const QString &text, bool problem)> tell)
    {
        m_tell = std::move(tell);
    }

    // Reads every key into the shared state (a missing file, section or key gives its default),
    // then lets the window show it.
    void ReadMem();
    // Writes every key from the shared state, all in one step: the file is either wholly saved or
    // left as it was.
    void WriteMem();

    // Whether the last WriteMem left the settings unsaved (or some value could not be stored).
    bool lastSaveFailed() const { return m_lastSaveFailed; }
    // Another running copy of the program owns the settings file: nothing is saved to it.
    bool inUseElsewhere() const { return m_inUseElsewhere; }

    // The settings file lives in the user's own folder rather than beside the program: its
    // folder is created when it is first saved, and while the file does not exist the settings
    // start from `place.siteDefault` (loading reads it, the first save keeps what it holds; a
    // site default that cannot serve as settings is said once and the defaults hold). The site
    // default is never written. A portable place changes nothing.
    void setPlace(const SettingsPlace &place);
    // Whether the last ReadMem started from the site default.
    bool startedFromSiteDefault() const { return m_siteText.has_value(); }
    // The second radio's settings as ReadMem read them: the first radio's, with the sections
    // [Audio2] and [PTT2] in place of [Audio] and [PTT] (their keys and meanings); none when the
    // file has neither. Nothing writes those sections: they stay in the file as they are.
    const std::optional<AppState> &secondRadio() const { return m_secondRadio; }
    // The second radio's settings as the program holds them, once it runs: every save writes them
    // to [Audio2] and [PTT2] (their output, input and level, their keying, and the keys the
    // sections already have).
    void setSecondRadio(const AppState *values) { m_second = values; }

private:
    QByteArray fontNameText(int element) const;
    void readSecondRadio(const ProfileText &file, const QString &from);
    QList<QByteArray> putValues(ProfileText &text) const;
    void reportUtf16(const QString &outcome);
    // Takes the file for this copy; false, said once, when another copy has it.
    bool own();
    // Says once that the file cannot be locked, and why: the copy goes on as its only one.
    void reportUnlocked(const QString &problem);
    // Tells the operator of a save that failed for `reason` (empty: it succeeded).
    void tellOutcome(const QString &reason);

    SettingsBook &m_book;
    const AppState &m_state;
    std::function<void()> m_showRead;
    std::function<void(const QString &, bool)> m_tell;
    // The state as ReadMem left it, or as the latest save wrote it: a newer key still holding this
    // is left in the file as it is.
    AppState m_asRead;
    std::optional<AppState> m_secondRadio; // as read, or as the latest save wrote it
    const AppState *m_second = nullptr;
    SettingsLock m_lock;
    bool m_inUseElsewhere = false;
    bool m_unlockedReported = false;
    bool m_failureTold = false;
    std::array<QByteArray, 3> m_fontNameRead; // each font name as the file held it
    bool m_lastSaveFailed = false;
    bool m_utf16Reported = false;
    bool m_makeFolder = false;
    QString m_siteDefault;
    std::optional<ProfileText> m_siteText; // the site default as read at start-up
};
