// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>

// The refusal faces: four poses of one cartoon face that tell the operator "that cannot be done
// now", 32 x 32 in 16 colours. Pose 1 frowns, 2 shakes its head, 3 throws its hands up and
// 4 raises an eyebrow.
inline constexpr int RefusalPoseCount = 4;

QImage drawRefusalFace(int pose);
