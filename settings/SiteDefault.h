// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/ProfileText.h"
#include "station/Result.h"

#include <QString>
#include <optional>

// The settings an administrator set up for every operator of the machine: the text that a
// settings file of the user's own starts from while it does not exist yet. It is read, never
// written.
namespace SiteDefault {

// The text of the site default at `path`; nothing when there is no file (nothing to say); a
// failure, with the reason, when the file cannot serve as settings: it cannot be read, it is not
// a regular file, it is larger than a settings file may be, it is UTF-16 text, it is not text at
// all, it is empty (or blank), or it is text without a single section.
ResultOf<std::optional<ProfileText>> read(const QString &path);

} // namespace SiteDefault
