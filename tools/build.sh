#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up a Debian 12 machine for Voice Vocta, builds it, and then runs, tests or packages it.
#
#   tools/build.sh run      install what is missing to build and run it, build the program (not
#                           the tests), start it
#   tools/build.sh test     install what is missing, also for the tests, build, run the whole
#                           test suite; then build it again with AddressSanitizer and
#                           UndefinedBehaviorSanitizer and run it once more, which must stay clean
#   tools/build.sh package  install what is missing to build the package and check it, and make
#                           the Debian package from the source package in debian/ (without
#                           the tests): build/voicevocta_<version>_<arch>.deb (install it with
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

# What the build needs. The Debian package's Build-Depends (debian/control) are exactly these,
# with debhelper's compatibility level beside them (`package` checks that they agree).
build_packages=(
    cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-tools-dev qt6-l10n-tools libgl-dev
    libsdl2-dev libsndfile1-dev libfluidsynth-dev
    libpulse-dev libhamlib-dev libfontconfig-dev libebur128-dev
)
# What building and running the program needs: the compiler, and the MIDI soundfont it reads.
run_packages=(build-essential "${build_packages[@]}" timgm6mb-soundfont)
# What the tests need beside that.
test_packages=(
    # The font the tests measure the window with.
    fonts-dejavu-core
    # What the tests start as real peers: a private sound server with null sinks (PulseAudio, and
    # PipeWire with WirePlumber and pipewire-pulse), hamlib's rig daemon with its dummy rig, and
    # a private session bus with gdbus as its client.
    pulseaudio pulseaudio-utils pipewire pipewire-bin pipewire-pulse wireplumber
    libhamlib-utils dbus libglib2.0-bin
    # The peer the loudness tests measure the program's output with (its ebur128 filter).
    ffmpeg
    # A real X server for the test that reads the window's title, and xdotool for the one that
    # holds a key down on it; the benchmark watches windows appear on one of its own through xcb.
    xvfb x11-utils xdotool libxcb1-dev
)
# What making and checking the Debian package needs beside the build: debhelper builds it; the
# checks of its desktop entry and AppStream metadata, Debian's own checker, lintian, and
# autopkgtest, which runs debian/tests on the installed package.
package_packages=(debhelper dpkg-dev desktop-file-utils appstream lintian autopkgtest)

# install_missing PACKAGE...: installs those of them that are not installed.
install_missing() {
    local missing=()
    for p in "$@"; do
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

# The Debian package's Build-Depends must be the build's packages, and its version the project's.
check_build_depends() {
    local control wanted
    control=$(sed -n '/^Build-Depends:/,/^[^ ]/{/^ /p}' "$here/debian/control" \
        | tr -d ' ,' | sed 's/(.*//' | grep -vx 'debhelper-compat' | sort)
    wanted=$(printf '%s\n' "${build_packages[@]}" | sort)
    if [ "$control" != "$wanted" ]; then
        echo "debian/control's Build-Depends differ from the build's packages in $0:" >&2
        diff <(echo "$wanted") <(echo "$control") >&2 || true
        exit 1
    fi
    local version project
    version=$(dpkg-parsechangelog -l "$here/debian/changelog" -S Version)
    project=$(sed -n 's/^project(VoiceVocta VERSION \([^ )]*\).*/\1/p' "$here/CMakeLists.txt")
    if [ "$version" != "$project" ]; then
        echo "debian/changelog is at version $version, CMakeLists.txt at $project" >&2
        exit 1
    fi
}

# Builds the Debian package from a copy of the sources in $build/package/ (dpkg-buildpackage
# writes beside the source folder), and leaves $build/voicevocta_<version>_<arch>.deb.
build_package() {
    local version arch name work=$build/package
    version=$(dpkg-parsechangelog -l "$here/debian/changelog" -S Version)
    arch=$(dpkg --print-architecture)
    name=voicevocta_${version}_${arch}.deb
    rm -rf "$work"
    rm -f "$build"/voicevocta_*.deb
    mkdir -p "$work/voicevocta-$version"
    if git -C "$here" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        # The files of the checkout as they are now, new ones included, ignored ones not.
        (cd "$here" && git ls-files -z --cached --others --exclude-standard \
            | while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done \
            | tar --null -T - -cf -) | tar -xf - -C "$work/voicevocta-$version"
    else
        (cd "$here" && tar --exclude='./build*' -cf - .) | tar -xf - -C "$work/voicevocta-$version"
    fi
    (
        cd "$work/voicevocta-$version"
        # No separate package of debugging symbols: one package is the result.
        DEB_BUILD_OPTIONS="noautodbgsym parallel=$jobs" dpkg-buildpackage -us -uc -b
        # The desktop entry and the metadata as the package holds them must pass their checks.
        desktop-file-validate debian/voicevocta/usr/share/applications/voicevocta.desktop
        appstreamcli validate --no-net --pedantic \
            debian/voicevocta/usr/share/metainfo/org.voicevocta.voicevocta.metainfo.xml
    )
    mv "$work/$name" "$build/$name"
    rm -rf "$work"
    echo "Made $build/$name"
}

case "${1:-}" in
run)
    install_missing "${run_packages[@]}"
    # The program alone: the tests and the benchmark need what `test` installs.
    configure_and_build "$build" RelWithDebInfo -DVV_BUILD_TESTS=OFF
    exec "$build/voicevocta"
    ;;
test)
    install_missing "${run_packages[@]}" "${test_packages[@]}"
    # The plain build first, so that a plain failure shows early.
    configure_and_build "$build" RelWithDebInfo -DVV_BUILD_TESTS=ON
    run_tests "$build"
    # The sanitizers catch what a passing test does not show: memory errors, leaks, undefined
    # behaviour. Unoptimised, as that builds in half the time; any finding fails its test.
    configure_and_build "$sanitize_build" Debug -DVV_SANITIZE=ON -DVV_BUILD_TESTS=ON
    ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_tests "$sanitize_build"
    ;;
package)
    install_missing build-essential "${build_packages[@]}" "${package_packages[@]}"
    check_build_depends
    build_package
    ;;
*)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac
