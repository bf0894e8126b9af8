// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

// What the program answers on its command line before it starts. It reads no command line but
// these two, each alone: "--help" (or "-h") prints how it is used, "--version" its version, on
// standard output, and it ends with status 0. Any other command line, the toolkit's own options
// included, changes nothing: the program starts as without one.
namespace CommandLine {

// The exit status when the command line was answered; nothing when the program is to start.
std::optional<int> answer(int argc, char **argv);

} // namespace CommandLine
