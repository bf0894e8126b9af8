#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up a Debian 12 machine for Voice Vocta, builds it, and then runs, tests or packages it.
#
#   tools/build.sh run      install what is missing, build, start the program
#   tools/build.sh test     install what is missing, build, run the whole test suite; then build
#                           it again with AddressSanitizer and UndefinedBehaviorSanitizer and
#                           run it once more, which must stay clean
#   tools/build.sh package  install what is missing, build, and make the Debian package
#                           build/voicevocta_<version>_<arch>.deb (install it with
#                           `sudo apt install ./build/voicevocta_*.deb`)
#
# The build folder (build/ beside this script's folder, or $VV_BUILD_DIR) is a runnable program
# folder: voicevocta with Images/ and Wav/ beside it. The sanitizer build goes to
# build-sanitize/ (or $VV_SANITIZE_BUILD_DIR).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VV_BUILD_DIR:-$here/build}
sanitize_build=${VV_SANITIZE_BUILD_DIR:-$here/build-sanitize}
jobs=${VV_JOBS:-$(nproc)}

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
    libsdl2-dev libsndfile1-dev libfluidsynth-dev timgm6mb-soundfont
    libpulse-dev libhamlib-dev
    fonts-dejavu-core
    # What the tests start as real peers: a private sound server with null sinks (PulseAudio, and
    # PipeWire with WirePlumber and pipewire-pulse), hamlib's rig daemon with its dummy rig, and
    # a private session bus with gdbus as its client.
    pulseaudio pulseaudio-utils pipewire pipewire-bin pipewire-pulse wireplumber
    libhamlib-utils dbus libglib2.0-bin
    # A real X server for the test that reads the window's title.
    xvfb x11-utils
    # The Debian package: its dependencies found by dpkg-shlibdeps (which needs file), and the
    # checks of its desktop entry and AppStream metadata.
    dpkg-dev file desktop-file-utils appstream
)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# configure_and_build DIR BUILD_TYPE [CMAKE_OPTION ...]
configure_and_build() {
    local dir=$1 type=$2
    shift 2
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@"
    cmake --build "$dir" -j "$jobs"
}

run_tests() {
    ctest --test-dir "$1" --output-on-failure -j "$jobs"
}

case "${1:-}" in
run)
    install_missing
    configure_and_build "$build" RelWithDebInfo
    exec "$build/voicevocta"
    ;;
test)
    install_missing
    # The plain build first, so that a plain failure shows early.
    configure_and_build "$build" RelWithDebInfo
    run_tests "$build"
    # The sanitizers catch what a passing test does not show: memory errors, leaks, undefined
    # behaviour. Unoptimised, as that builds in half the time; any finding fails its test.
    configure_and_build "$sanitize_build" Debug -DVV_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_tests "$sanitize_build"
    ;;
package)
    install_missing
    configure_and_build "$build" RelWithDebInfo
    # The desktop entry and the metadata as the package holds them must pass their checks.
    desktop-file-validate "$here/packaging/voicevocta.desktop"
    appstreamcli validate --no-net "$build/packaging/org.voicevocta.VoiceVocta.metainfo.xml"
    (cd "$build" && cpack -G DEB)
    ;;
*)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac
