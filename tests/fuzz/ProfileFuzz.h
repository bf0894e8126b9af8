// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// One fuzz input through the settings text layer and the numeric value: the input is taken as a
// settings file (and as a number text), read and edited; any broken rule aborts the process.
void fuzzProfileOnce(const std::uint8_t *data, std::size_t size);
