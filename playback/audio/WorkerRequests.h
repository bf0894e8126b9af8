// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/AudioSource.h"

#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

// The closed set of requests that the playback engine's calls leave for its worker thread.
namespace WorkerRequests {

// clang-format off
struct RunTasks { std::vector<std::function<void()>> tasks; }; // warm-ups, ahead of the rest
struct TakeSource { std::unique_ptr<AudioSource> source; };   // the source to play (null: none)
struct OpenOutput { };                                         // ready the output for the next play
struct WakeOutput { quint64 token; };                          // wake it too, and say when it is
struct SeekSource { qint64 frame; };                           // the position moved there
struct StepBack { qint64 frames; };                            // back from where the play was heard
// clang-format on

using Request = std::variant<RunTasks, TakeSource, OpenOutput, WakeOutput, SeekSource, StepBack>;

// The requests that wait for the worker: one of each kind at most, a later one taking the place of
// the one that waits (tasks and steps back add up). The worker takes them kind by kind, in the
// order it chooses. Not locked: the engine's mutex guards it.
class Mailbox
{
public:
    // Returns the request that the new one replaced, for the caller to let go of after the lock.
    std::optional<Request> post(Request request);

    template<typename Kind>
    std::optional<Kind> take()
    {
        return std::exchange(std::get<std::optional<Kind>>(m_waiting), std::nullopt);
    }

    template<typename Kind>
    void drop()
    {
        std::get<std::optional<Kind>>(m_waiting).reset();
    }

private:
    template<typename>
    struct Slots;
    template<typename... Kinds>
    struct Slots<std::variant<Kinds...>>
    {
        using Type = std::tuple<std::optional<Kinds>...>;
    };

    Slots<Request>::Type m_waiting; // one slot for each kind
};

} // namespace WorkerRequests
