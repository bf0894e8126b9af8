<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>Aboutfrm</name>
    <message>
        <source>About The Voice Vocta</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Push to Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hello Everyone!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This is the BETA Version of the Voice Vocta.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>As we are still developping the code, comments are</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WELCOME!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You can reach us at the following addresses:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please use this program only for peaceful projects.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Licence: GNU GPL
version 3 or later</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ComSet</name>
    <message>
        <source>COM Control</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COM Number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>7</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>8</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RTS Control</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Positive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Negative</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DTR Control</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ComSetHandler</name>
    <message>
        <source>no device</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Form1</name>
    <message>
        <source>Voice Vocta</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Memory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Left Button Starts Play/Right Button To Enter File Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Repeat</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Idle</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Repeat Delay</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Click To Store The Repeat Delay</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PTT Controls</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PTT Management</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PTT Lock/Unlock. When Locked The PTT Will Stay Asserted.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>StdBy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disables Under Any Condition The PTT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Setup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Characters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Com</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+E</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Buttons</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Labels</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sound...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PTT...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Record...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect COM automagically</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ManualHelp</name>
    <message>
        <source>This desktop cannot show the manual. Run &quot;man voicevocta&quot; in a terminal, or read README.md where Voice Vocta&apos;s source is.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PttSet</name>
    <message>
        <source>PTT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Keying:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>How the program keys the transmitter&apos;s push-to-talk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial port (RTS/DTR lines)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CAT (hamlib)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CM108 GPIO pin</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>None (the rig&apos;s VOX)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Device:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The serial adapter whose RTS/DTR lines key PTT, or a device path</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lines and polarities: Setup ▸ Com ▸ Parameters; its OK opens the port.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Rig:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>hamlib&apos;s rig model; type part of its name to search</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>host:port of rigctld, or the rig&apos;s serial device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>localhost:4532 or /dev/ttyUSB0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Speed:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The serial speed of a rig on a serial port, in baud</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CM108 GPIO</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>D&amp;evice:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The USB sound chip (its /dev/hidraw device) whose GPIO pin keys PTT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;GPIO pin:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The chip&apos;s GPIO pin wired to PTT (3 on most interfaces)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Timing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Lead:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>From keying the transmitter to the start of the message</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> ms</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Tail:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>From the end of the message to releasing the transmitter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Release the transmitter when it has been keyed this long without a break</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>T&amp;ime-out:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The longest the transmitter stays keyed without a break</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>How the keyer stands</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PttSetHandler</name>
    <message>
        <source>%1 (not found)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COM port of the COM dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The port number chosen in Setup &gt; Com &gt; Parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model %1 (not found)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rig&apos;s default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the rig&apos;s model from the list.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The rig models cannot be listed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>hamlib knows no rig model %1: choose the rig&apos;s model from the list.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter the rig&apos;s port: host:port of rigctld, or its serial device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the CM108 chip&apos;s device.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RecordSet</name>
    <message>
        <source>Record</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Memory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The memory that Save gives the take to, or the voice kit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>kit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Take</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Listen to the take on the monitor output, or the default output (never on the transmitter&apos;s output)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trim the take, save it and give it to the memory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Peak</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The kit&apos;s part that Save gives the take to: a letter, a digit, /, a word, or calls/ and a call</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RecordSetHandler</name>
    <message>
        <source>Every letter, digit and / is there.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Missing %1 of %2: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No take</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Take: %1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default input</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Input: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SoundSet</name>
    <message>
        <source>Sound</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output to the transmitter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The sound output wired to the transmitter&apos;s microphone input</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Level of the messages in percent of full scale</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Monitor: what is sent, for your ears</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The output that also plays every message, and the recorder&apos;s takes; never the transmitter&apos;s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Level of the monitor in percent of full scale</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Microphone muted while a message is sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The input muted while the transmitter is keyed for a message, and put back as it was afterwards</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Input for recording</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The microphone the recorder records from</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SoundSetHandler</name>
    <message>
        <source>Default output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default input</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>None</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No sound server answers.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The level is 0 %: a message keys the transmitter and sends silence.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The monitor was that output: it is off now.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The monitor cannot be the transmitter&apos;s output.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StationPresenter</name>
    <message>
        <source>Pause</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Idle</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoiceVocta</name>
    <message>
        <source>Left Button Starts Play/Right Button To Enter File Name</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
