// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The five faces of the picture-style buttons, pictures 1 to 5 of ImageList1, by their colour:
//   Blue    rest: a memory that is not the current one, the idle status panel, Lock released,
//           standby off;
//   Red     the memory that plays or waits for its repeat; Lock engaged;
//   Green   the current memory, not playing; standby's blink; a memory button held down;
//   Yellow  the status panel while a message with repeat plays;
//   Orange  the status panel while a message plays once.
enum class Face { Blue = 1, Red, Green, Yellow, Orange };
