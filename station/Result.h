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

// The same for an attempt that makes something: done with its `value` (a value converts to a
// done ResultOf), or failed with a default-made value and the reason. The value may be
// move-only (std::unique_ptr).
template<typename T>
struct ResultOf
{
    T value{};
    QString error; // why it failed; empty when done
    bool ok = true;

    ResultOf() = default;
    ResultOf(T made) : value(std::move(made)) { }
    static ResultOf failure(QString why)
    {
        ResultOf failed;
        failed.error = std::move(why);
        failed.ok = false;
        return failed;
    }
    explicit operator bool() const { return ok; }
};
