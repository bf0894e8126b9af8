#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Speaks the sound files shipped in wav/: the default message opened at start-up and the six
# memory messages. The results are committed; the build only copies them beside the program.
#
# Re-run after changing a message below:
#
#     tools/make-sounds.sh            # writes wav/Default.wav and wav/1.wav ... wav/6.wav
#     tools/make-sounds.sh OUTDIR     # writes them to OUTDIR instead
#
# Needs espeak-ng and sox (Debian packages espeak-ng and sox). Every file comes out as 16-bit PCM,
# mono, 22050 Hz, with the silence before and after the speech cut to a short, even lead-in and
# tail, and the peak normalised to -3 dBFS. The call sign N0CALL is a placeholder that no station
# can hold; record your own messages with your own call.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$here/../wav"}
voice=en-us
speed=165 # words per minute

command -v espeak-ng >/dev/null || { echo "make-sounds: espeak-ng is not installed" >&2; exit 1; }
command -v sox >/dev/null || { echo "make-sounds: sox is not installed" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

call="November Zero Charlie Alpha Lima Lima"

# speak FILE TEXT [SPEED]
speak() {
    espeak-ng -v "$voice" -s "${3:-$speed}" -w "$work/raw.wav" "$2"
    # -D: no dither, so that the same text gives the same bytes on every run.
    # silence ... reverse silence ... reverse: cut the silence at both ends; pad: a short lead-in
    # (time for the transmitter to key up) and tail.
    sox -D "$work/raw.wav" -r 22050 -c 1 -b 16 -e signed-integer "$out/$1" \
        silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse \
        pad 0.15 0.1 norm -3
    length=$(soxi -D "$out/$1")
    echo "$1: ${length} s: $2"
    # Each message must last 1 to 5 seconds.
    awk -v n="$length" -v f="$1" \
        'BEGIN { if (n < 1 || n > 5) { print "make-sounds: " f " lasts " n " s, not 1 to 5 s" > "/dev/stderr"; exit 1 } }'
}

speak Default.wav "Voice Vocta ready."
speak 1.wav "CQ CQ CQ this is $call, standing by." 185
speak 2.wav "QRZ? This is $call."
speak 3.wav "Thank you, you are five nine, five nine. Over."
speak 4.wav "Please repeat your call sign."
speak 5.wav "Seventy-three, $call, clear."
speak 6.wav "Please stand by."
