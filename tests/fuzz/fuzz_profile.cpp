// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry point: build with -DVV_FUZZ=ON and clang, then run ./fuzz_profile [corpus].
#include "tests/fuzz/ProfileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzProfileOnce(data, size);
    return 0;
}
