#!/usr/bin/env bash
# Sets up a Debian 12 machine for Voice Vocta, builds it, and then runs it or tests it.
#
#   tools/build.sh run    install what is missing, build, start the program
#   tools/build.sh test   install what is missing, build, run the whole test suite
#
# The build folder (build/ beside this script's folder, or $VV_BUILD_DIR) is a runnable program
# folder: voicevocta with Images/ and Wav/ beside it.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VV_BUILD_DIR:-$here/build}
jobs=${VV_JOBS:-$(nproc)}

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
    libsdl2-dev libsndfile1-dev libfluidsynth-dev timgm6mb-soundfont
    fonts-dejavu-core
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

configure_and_build() {
    local dir=$1
    shift
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$dir" -j "$jobs"
}

case "${1:-}" in
run)
    install_missing
    configure_and_build "$build"
    exec "$build/voicevocta"
    ;;
test)
    install_missing
    configure_and_build "$build"
    ctest --test-dir "$build" --output-on-failure -j "$jobs"
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
