#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the README's pictures of the program into docs/images/, from the offscreen window: no
# display is needed. Run it again whenever the window or a dialog changes, and commit the result.
#
#   tools/screenshots.sh
#
# Builds in build/ (or $VV_BUILD_DIR), configuring it first if needed. The pictures and the
# steps that set up each one are listed in tools/screenshots/main.cpp.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VV_BUILD_DIR:-$here/build}
jobs=${VV_JOBS:-$(nproc)}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$jobs" --target vv_screenshots
QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
    "$build/tools/screenshots/vv_screenshots" "$here/docs/images"
ls "$here"/docs/images/*.png
