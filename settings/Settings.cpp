// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Settings.h"
#include "station/Log.h"

#include "settings/AudioSettings.h"
#include "settings/KitSettings.h"
#include "settings/NetworkSettings.h"
#include "settings/ProfileFile.h"
#include "settings/PttSettings.h"
#include "settings/SettingsPlace.h"
#include "settings/SiteDefault.h"
#include "settings/So2rSettings.h"
#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/FileNames.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QtDebug>

using namespace TextRules;

namespace {

// Font names: the system's 8-bit encoding, Latin-1 for bytes that are not valid in it.
QString fromFontText(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return decoder.hasError() ? QString::fromLatin1(bytes) : text;
}

QByteArray toFontText(const QString &text)
{
    QStringEncoder encoder(QStringEncoder::System, QStringEncoder::Flag::Stateless);
    return encoder(text);
}

QByteArray ascii(const QString &text)
{
    return text.toLatin1();
}

// "MEMORY_" followed by the memory number 1 to 6.
QByteArray memorySection(int memory)
{
    // The number-to-text rule puts a blank before the number; that blank is dropped.
    return "MEMORY_" + ascii(numberText(memory).mid(1));
}

QByteArray fontSection(int element)
{
    return "Fonts" + QByteArray("_") + QByteArray::number(element);
}

} // namespace

Settings::Settings(SettingsBook &book) : m_book(book), m_state(book.values()) { }

void Settings::setPlace(const SettingsPlace &place)
{
    m_makeFolder = !place.portable;
    m_siteDefault = place.portable ? QString() : place.siteDefault;
}

void Settings::ReadMem()
{
    // Start-up: the file becomes this copy's, unless another copy that runs has it; then what
    // interrupted saves of an earlier run left behind goes first.
    const ProfileFile profile(m_state.Places.IniFile);
    if (own())
        profile.removeLeftovers();
    m_utf16Reported = profile.isUtf16();
    if (m_utf16Reported)
        reportUtf16(QStringLiteral("the settings start from their defaults"));

    // The file is read once; each key is then looked up as its own read would find it. A
    // settings file of the user's own that does not exist yet starts from the site default,
    // read this once; one that cannot serve starts it from the defaults.
    m_siteText.reset();
    const bool fromSite = !m_siteDefault.isEmpty() && !QFileInfo::exists(m_state.Places.IniFile);
    if (fromSite) {
        ResultOf<std::optional<ProfileText>> site = SiteDefault::read(m_siteDefault);
        m_siteText = std::move(site.value);
        if (!site)
            qCWarning(lcSettings).noquote()
                << QStringLiteral("Cannot start from the site's settings %1: %2; the settings "
                                  "start from their defaults")
                       .arg(m_siteDefault, site.error);
    }
    const ProfileText file = fromSite ? m_siteText.value_or(ProfileText()) : profile.load();

    AppState read = m_state;
    read.Ptt.ComNum = roundToInt16(numericValue(file.value("COM", "Num", "1")));
    read.Ptt.DtrOn = flagValue(file.value("COM", "Dtr", "0"));
    read.Ptt.DtrPos = flagValue(file.value("COM", "DtrPos", "1"));
    read.Ptt.RtsOn = flagValue(file.value("COM", "Rts", "0"));
    read.Ptt.RtsPos = flagValue(file.value("COM", "RtsPos", "1"));

    for (int i = 1; i <= MemoryCount; ++i) {
        const QByteArray section = memorySection(i);
        const QByteArray defaultFile
            = FileNames::encode(read.Places.WavDir + numberText(i).mid(1) + QStringLiteral(".wav"));
        const QByteArray fileName = file.value(section, "FileName", defaultFile);
        const QByteArray repeat = file.value(section, "Repeat", "0");
        const QByteArray delay = file.value(section, "Delay", "4500");
        read.Memories.MemFile[i - 1] = FileNames::decode(trimBlanks(fileName));
        read.Memories.MemRepeat[i - 1] = flagValue(repeat);
        read.Memories.MemDelay[i - 1] = numericValue(trimBlanks(delay));
    }

    for (int j = 1; j <= 2; ++j) {
        const QByteArray section = fontSection(j);
        const QByteArray sizeDefault = QByteArray::number(16 - 4 * j);
        const QByteArray name = file.value(section, "Fontname", "Helvetica");
        const QByteArray size = file.value(section, "Fontsize", sizeDefault);
        const QByteArray bold = file.value(section, "Fontbold", "0");
        const QByteArray italic = file.value(section, "Fontitalic", "0");
        m_fontNameRead[j] = trimBlanks(name);
        read.Fonts.FntName[j] = fromFontText(m_fontNameRead[j]);
        read.Fonts.FntSize[j] = roundToInt16(numericValue(trimBlanks(size)));
        read.Fonts.FntBold[j] = flagValue(bold);
        read.Fonts.FntItalic[j] = flagValue(italic);
    }

    // The newer sections take only the values they accept; each other one is said.
    QStringList problems = AudioSettings::read(file, read);
    problems += PttSettings::read(file, read);
    problems += NetworkSettings::read(file, read);
    for (const QString &problem : problems)
        qCWarning(lcSettings).noquote() << QStringLiteral("%1: %2").arg(
            fromSite ? m_siteDefault : read.Places.IniFile, problem);
    KitSettings::read(file, read);
    So2rSettings::read(file, read);
    const Result applied = m_book.applyAll(read);
    if (!applied)
        qCWarning(lcSettings).noquote()
            << QStringLiteral("%1: %2").arg(m_state.Places.IniFile, applied.error);
    m_asRead = m_state;
    readSecondRadio(file, fromSite ? m_siteDefault : m_state.Places.IniFile);

    if (m_showRead)
        m_showRead();
}

void Settings::WriteMem()
{
    // The file of another copy that runs is left to it.
    if (m_inUseElsewhere) {
        m_lastSaveFailed = true;
        return;
    }

    if (m_makeFolder) {
        const Result made = SettingsPlace::makeFolder(QFileInfo(m_state.Places.IniFile).path());
        if (!made) {
            // Nothing is lost: the settings stay in memory and go out with the next save.
            qCWarning(lcSettings).noquote() << QStringLiteral("Cannot save the settings to %1: %2")
                                                   .arg(m_state.Places.IniFile, made.error);
            m_lastSaveFailed = true;
            tellOutcome(made.error);
            return;
        }
        // A folder made only now: the file becomes this copy's, unless another copy was first.
        if (!own()) {
            m_lastSaveFailed = true;
            return;
        }
    }

    ProfileFile file(m_state.Places.IniFile);
    // A UTF-16 file is left as it is; the operator hears of it once.
    if (file.isUtf16()) {
        if (!m_utf16Reported)
            reportUtf16(QStringLiteral("it is left as it is"));
        m_utf16Reported = true;
        m_lastSaveFailed = true;
        tellOutcome(QStringLiteral("it is UTF-16 text, which this program cannot edit"));
        return;
    }
    QList<QByteArray> refused;
    const bool saved = file.update([&](ProfileText &text) { refused = putValues(text); });
    // What went to the file is the state to compare with from now on: a value chosen and saved,
    // then put back as it was read, is saved again rather than left as the earlier save wrote it.
    if (saved) {
        m_asRead = m_state;
        if (m_second && m_secondRadio)
            m_secondRadio = *m_second;
    }

    // A value the file cannot hold (a line break in a file name) keeps its old value there.
    QString reason = saved ? QString() : file.errorString();
    if (saved && !refused.isEmpty()) {
        reason = QStringLiteral("%1 cannot be stored in the file; the old value is kept")
                     .arg(QString::fromLatin1(refused.join(", ")));
        qCWarning(lcSettings).noquote() << QStringLiteral("Cannot save the settings to %1: %2")
                                               .arg(m_state.Places.IniFile, reason);
    }
    m_lastSaveFailed = !reason.isEmpty();
    tellOutcome(reason);
}

// Puts the values of the settings into `text`; answers the keys whose value it cannot hold.
QList<QByteArray> Settings::putValues(ProfileText &text) const
{
    QList<QByteArray> refused;
    const auto put = [&refused](ProfileText &file, const QByteArray &section, const char *key,
                                const QByteArray &value) {
        if (!file.setValue(section, key, value))
            refused.append(section + '/' + key);
    };

    // The first save of a file of the user's own keeps what the site default holds beyond
    // the keys written here (comments, keys of other programs).
    if (m_siteText && text.bytes().isEmpty() && !QFileInfo::exists(m_state.Places.IniFile))
        text = *m_siteText;
    put(text, "COM", "Num", QByteArray::number(m_state.Ptt.ComNum));
    put(text, "COM", "Rts", ascii(Bool2Txt(m_state.Ptt.RtsOn)));
    put(text, "COM", "RtsPos", ascii(Bool2Txt(m_state.Ptt.RtsPos)));
    put(text, "COM", "Dtr", ascii(Bool2Txt(m_state.Ptt.DtrOn)));
    put(text, "COM", "DtrPos", ascii(Bool2Txt(m_state.Ptt.DtrPos)));

    for (int i = 1; i <= MemoryCount; ++i) {
        const QByteArray section = memorySection(i);
        put(text, section, "FileName", FileNames::encode(m_state.Memories.MemFile[i - 1]));
        put(text, section, "Repeat", ascii(Bool2Txt(m_state.Memories.MemRepeat[i - 1])));
        put(text, section, "Delay", ascii(formatWhole(m_state.Memories.MemDelay[i - 1])));
    }

    for (int j = 1; j <= 2; ++j) {
        const QByteArray section = fontSection(j);
        put(text, section, "Fontname", fontNameText(j));
        put(text, section, "Fontsize", QByteArray::number(m_state.Fonts.FntSize[j]));
        put(text, section, "Fontbold", ascii(Bool2Txt(m_state.Fonts.FntBold[j])));
        put(text, section, "Fontitalic", ascii(Bool2Txt(m_state.Fonts.FntItalic[j])));
    }

    refused += AudioSettings::write(text, m_state, m_asRead);
    refused += PttSettings::write(text, m_state, m_asRead);
    refused += KitSettings::write(text, m_state);
    refused += NetworkSettings::write(text, m_state, m_asRead);
    refused += So2rSettings::write(text, m_state);
    if (m_second && m_secondRadio) {
        refused += AudioSettings::write(text, *m_second, *m_secondRadio, "Audio2");
        refused += PttSettings::write(text, *m_second, *m_secondRadio, "PTT2");
    }
    return refused;
}

bool Settings::own()
{
    if (m_inUseElsewhere)
        return false;
    const SettingsLock::Outcome lock = m_lock.take(m_state.Places.IniFile);
    if (lock == SettingsLock::Outcome::Refused)
        reportUnlocked(m_lock.problem());
    if (lock != SettingsLock::Outcome::InUse)
        return true;
    m_inUseElsewhere = true;
    qCWarning(lcSettings).noquote()
        << QStringLiteral("%1 is in use by another copy of Voice Vocta that is running: this copy "
                          "saves nothing to it and keys no transmitter")
               .arg(m_state.Places.IniFile);
    if (m_tell)
        m_tell(QStringLiteral("The settings file %1 is in use by another copy of Voice Vocta "
                              "that is running.\n\nThis copy works with the settings it read at "
                              "its start and saves nothing to that file: what is changed here is "
                              "lost when it ends. It keys no transmitter and touches no rig or "
                              "serial line: the transmitter is the other copy's.")
                   .arg(m_state.Places.IniFile),
               true);
    return false;
}

void Settings::reportUnlocked(const QString &problem)
{
    if (m_unlockedReported)
        return;
    m_unlockedReported = true;
    const QString lockFile = SettingsLock::lockFileOf(m_state.Places.IniFile);
    qCWarning(lcSettings).noquote()
        << QStringLiteral("Cannot lock the settings file with %1 (%2): a second copy of Voice "
                          "Vocta started on %3 would not be kept from saving over this one's "
                          "settings")
               .arg(lockFile, problem, m_state.Places.IniFile);
    if (m_tell)
        m_tell(QStringLiteral("The settings file's lock %1 cannot be taken: %2.\n\nThe settings "
                              "are saved as usual, but a second copy of Voice Vocta started on "
                              "the same file would not be kept from saving over them. Remove %1 "
                              "(the program makes it again) and start the program again.")
                   .arg(lockFile, problem),
               true);
}

void Settings::tellOutcome(const QString &reason)
{
    if (reason.isEmpty()) {
        if (!m_failureTold)
            return;
        m_failureTold = false;
        qCWarning(lcSettings).noquote()
            << QStringLiteral("The settings are saved again to %1").arg(m_state.Places.IniFile);
        if (m_tell)
            m_tell(
                QStringLiteral("The settings are saved again to %1.").arg(m_state.Places.IniFile),
                false);
        return;
    }
    if (m_failureTold)
        return;
    m_failureTold = true;
    QString why = reason;
    while (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    if (m_tell)
        m_tell(QStringLiteral("The settings cannot be saved to %1: %2.\n\nThey are kept while the "
                              "program runs, and the next save tries again.")
                   .arg(m_state.Places.IniFile, why),
               true);
}

QByteArray Settings::fontNameText(int element) const
{
    // A name read as Latin-1 and not changed since goes back as it was read.
    const QByteArray &read = m_fontNameRead[element];
    if (!read.isNull() && fromFontText(read) == m_state.Fonts.FntName[element])
        return read;
    return toFontText(m_state.Fonts.FntName[element]);
}

void Settings::reportUtf16(const QString &outcome)
{
    qCWarning(lcSettings).noquote()
        << QStringLiteral("%1 is UTF-16 text, which this program cannot read or edit: %2, and "
                          "the settings are not saved to it")
               .arg(m_state.Places.IniFile, outcome);
}

void Settings::readSecondRadio(const ProfileText &file, const QString &from)
{
    m_secondRadio.reset();
    static const char *const audioKeys[] = {"Output",       "Input",      "Level",    "Monitor",
                                            "MonitorLevel", "MuteSource", "Loudness", "TruePeak"};
    static const char *const pttKeys[]
        = {"Method",      "SerialDevice", "RigModel", "RigPort", "RigSpeed",
           "Cm108Device", "Cm108Gpio",    "LeadMs",   "TailMs",  "TimeoutS"};
    bool present = false;
    for (const char *key : audioKeys)
        present = present || file.contains("Audio2", key);
    for (const char *key : pttKeys)
        present = present || file.contains("PTT2", key);
    if (!present)
        return;
    AppState second = m_state;
    QStringList problems = AudioSettings::read(file, second, "Audio2");
    problems += PttSettings::read(file, second, "PTT2");
    for (const QString &problem : problems)
        qCWarning(lcSettings).noquote() << QStringLiteral("%1: %2").arg(from, problem);
    m_secondRadio = second;
}
