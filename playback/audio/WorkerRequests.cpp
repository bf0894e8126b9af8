// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/WorkerRequests.h"

#include <iterator>
#include <type_traits>
#include <utility>

namespace WorkerRequests {

std::optional<Request> Mailbox::post(Request request)
{
    return std::visit(
        [this](auto &&posted) -> std::optional<Request> {
            using Kind = std::decay_t<decltype(posted)>;
            std::optional<Kind> &slot = std::get<std::optional<Kind>>(m_waiting);
            if constexpr (std::is_same_v<Kind, RunTasks>) {
                if (slot) {
                    slot->tasks.insert(slot->tasks.end(),
                                       std::make_move_iterator(posted.tasks.begin()),
                                       std::make_move_iterator(posted.tasks.end()));
                    return std::nullopt;
                }
            } else if constexpr (std::is_same_v<Kind, StepBack>) {
                if (slot) {
                    slot->frames += posted.frames;
                    return std::nullopt;
                }
            }
            std::optional<Kind> replaced = std::exchange(slot, std::move(posted));
            if (!replaced)
                return std::nullopt;
            return Request(std::move(*replaced));
        },
        std::move(request));
}

} // namespace WorkerRequests
