// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <array>
#include <optional>

// How the transmitter's push-to-talk is keyed: the serial port's RTS/DTR lines, the rig's CAT
// connection, a CM108 sound chip's GPIO pin, or not at all (the rig keys itself on the audio).
enum class KeyingMethod { Serial, Cat, Cm108, None };

// What other stations on the network that transmit hold this one back from: nothing, a station on
// the same amateur band, or any station.
enum class InterlockMode { Off, Band, All };
// How this station says it works, for the stations around it: running (calling CQ), or search and
// pounce, whose transmissions take priority over a running station's on the same band.
enum class StationRole { Run, Sp };

// The station network ([Network] of the settings file; every default sends and hears nothing).
struct NetworkValues
{
    // Where this station's RadioInfo datagrams go: "host:port" entries separated by commas,
    // unicast or broadcast addresses or host names; empty: nowhere.
    QString RadioInfo;
    // The name this station gives itself on the network; empty: the machine's host name.
    QString StationName;
    int Listen = 0; // the UDP port other stations' RadioInfo is heard on; 0: none
    InterlockMode Interlock = InterlockMode::Off;
    // How long a station that said it transmits and then fell silent still holds this one back.
    int PeerTimeoutS = 5;
    StationRole Role = StationRole::Run;

    bool operator==(const NetworkValues &) const = default;

    static constexpr int MinPeerTimeoutS = 1;
    static constexpr int MaxPeerTimeoutS = 60;
};

// While one radio is keyed, keying the other is refused, or waits until the first one's tail
// has ended.
enum class InterlockRule { Refuse, Wait };

// Two radios ([SO2R] of the settings file; the defaults change nothing with one radio).
struct So2rChoice
{
    QString Otrsp; // the OTRSP box's serial device; empty: none
    InterlockRule Interlock = InterlockRule::Refuse;
    bool Alternate = false; // a repeating memory alternates between the radios
    bool Stereo = false; // the OTRSP box gives both radios' receive audio, the focus radio's first
    bool operator==(const So2rChoice &) const = default;
};

// The number of memories: the buttons, their sound files, delays and repeat boxes.
inline constexpr int MemoryCount = 6;

// The memories ([MEMORY_1] to [MEMORY_6] of the settings file): what each button plays and how
// it repeats. The station applies them (repeat boxes, the delay set while a memory repeats); the
// memory bank and the recorder bind files to them.
struct MemoryValues
{
    // Sound file of each memory.
    std::array<QString, MemoryCount> MemFile;
    // Repeat delay of each memory in milliseconds: a real number when read from the settings
    // file, a whole number when stored from the slider.
    std::array<double, MemoryCount> MemDelay{};
    // Repeat wanted for each memory: what its repeat box shows and changes.
    std::array<bool, MemoryCount> MemRepeat{};
    bool operator==(const MemoryValues &) const = default;
};

// How the transmitter is keyed ([COM] and [PTT] of the settings file; every default keeps the
// serial lines keying as they always did).
struct PttValues
{
    qint16 ComNum = 0; // serial port number, 1..8 from the COM dialog

    bool DtrOn = false; // DTR keys PTT
    bool DtrPos = false; // DTR polarity: true = positive
    bool RtsOn = false; // RTS keys PTT
    bool RtsPos = false; // RTS polarity: true = positive

    KeyingMethod PttMethod = KeyingMethod::Serial;
    QString SerialDevice; // the serial device by its path; empty: the port ComNum
    int RigModel = 2; // hamlib's rig model; 2: rigctld over the network
    QString RigPort = QStringLiteral("localhost:4532"); // "host:port" of rigctld, or a device
    int RigSpeed = 0; // the rig's serial speed; 0: the model's own
    QString Cm108Device; // the CM108 chip's /dev/hidraw* device
    int Cm108Gpio = 3; // its GPIO pin that keys PTT
    int LeadMs = 0; // from keying to the audio, 0..2000 ms
    int TailMs = 0; // from the last sample heard to the release, 0..2000 ms
    int TimeoutS = 0; // the longest the transmitter stays keyed without a break; 0: no limit
    bool operator==(const PttValues &) const = default;

    // The ranges of the numbers.
    static constexpr int RigModelMin = 1;
    static constexpr int RigModelMax = 99999;
    static constexpr int RigSpeedMax = 1000000;
    static constexpr int Cm108GpioMin = 1;
    static constexpr int Cm108GpioMax = 8;
    static constexpr int LeadMsMax = 2000;
    static constexpr int TailMsMax = 2000;
    static constexpr int TimeoutSMax = 3600;
};

// The sound server's outputs and inputs and the levels ([Audio] of the settings file).
struct AudioValues
{
    // The output (sink) that plays the messages, by its name; empty: the system's default output.
    // The input (source) that the recorder records from; empty: the default.
    QString AudioOutput;
    QString AudioInput;
    int AudioLevel = 100; // percent of full scale (linear amplitude) of what is played, 0..100
    // The output (sink) that also plays every message for the operator's ears, and the
    // recorder's takes; empty: none (the takes then play on the default output). Its level.
    QString AudioMonitor;
    int MonitorLevel = 100;
    // The input (source) muted while the transmitter is keyed for a message; empty: none.
    QString MuteSource;
    // The loudness every message plays at, in LUFS (none: each as recorded), and the ceiling of
    // their true peaks, in dBTP.
    std::optional<double> AudioLoudness;
    double AudioTruePeak = -1.0;
    bool operator==(const AudioValues &) const = default;

    // The ranges of the numbers.
    static constexpr int MaxLevel = 100;
    static constexpr double MinLoudness = -40;
    static constexpr double MaxLoudness = -5;
    static constexpr double MinTruePeak = -40;
    static constexpr double MaxTruePeak = 0;
};

// The voice kit that texts are spoken from ([Kit] of the settings file): its folder (empty: the
// default one, SettingsPlace::kitDir), and the silence between the parts of a word and between
// words, in milliseconds.
struct KitValues
{
    QString KitFolder;
    int KitLetterGapMs = 60;
    int KitWordGapMs = 150;
    bool operator==(const KitValues &) const = default;

    static constexpr int MaxGapMs = 2000;
};

// The fonts of the window ([Fonts_1] and [Fonts_2]): element 1 the buttons, element 2 the frame
// labels; element 0 unused.
struct FontValues
{
    std::array<QString, 3> FntName;
    std::array<qint16, 3> FntSize{};
    std::array<bool, 3> FntBold{};
    std::array<bool, 3> FntItalic{};
    bool operator==(const FontValues &) const = default;
};

// Where the program's files are: found at start-up, never stored.
struct PlaceValues
{
    QString AppDir; // the executable's directory
    QString ImgDir; // AppDir + "/Images/", or ../share/voicevocta/Images/ when installed
    QString WavDir; // AppDir + "/Wav/", or ../share/voicevocta/Wav/ when installed
    QString IniFile; // AppDir + "/vocta.ini", or the user's own (installed, or AppDir read-only)
    // Where new recordings go: WavDir beside a writable program folder, else the user's own
    // $XDG_DATA_HOME/voicevocta/Wav/. Ends with a separator; may not exist yet.
    QString RecordDir;
    bool operator==(const PlaceValues &) const = default;
};

// One radio's settings and places, one value per area. SettingsBook holds the program's and
// applies each area through one call that can refuse; everything else reads it.
struct AppState
{
    MemoryValues Memories;
    PttValues Ptt;
    AudioValues Audio;
    KitValues Kit;
    FontValues Fonts;
    NetworkValues Network;
    So2rChoice So2r;
    PlaceValues Places;
};
