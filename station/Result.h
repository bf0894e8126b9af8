// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <utility>

// What an attempt came to: done, or failed with the reason, in words the program can show.
// A default-made Result is done.
struct Result
{
    bool ok = true;
    QString error; // why it failed; empty when done

    static Result failure(QString why) { return Result{false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};
