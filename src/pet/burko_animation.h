#pragma once

#include <QString>

#include "app/burko_state.h"

namespace nvx {

// Which cell of the pet's sprite sheet to show and how far to move it.
struct BurkoPose {
    int row = 0;
    int frame = 0;
    double shift = 0.0;  // horizontal, in points; positive is to the right

    bool operator==(const BurkoPose&) const = default;
};

// The frame of sheet row `row` shown `elapsed` seconds into its animation:
// looping animations wrap around, the others hold their last frame. Rows
// without frame timings (9, 10 and unknown rows) answer 0.
int frameFor(int row, double elapsed, bool loops);

// The pose for a state `t` seconds after the state began. With reduced
// motion the pet stands still: the clock is taken as 0 and the pose is
// always frame 0, unshifted.
BurkoPose burkoPose(BurkoState state, double t, bool reduceMotion);

// How many frames of sheet row `row` the animation ever shows: those with
// timings, the first alone of the alternate idle pose (row 9), none of the
// others.
int framesShown(int row);

// What the pet is doing, in words, for assistive technology.
QString burkoAccessibleLabel(BurkoState state);

}  // namespace nvx
