#pragma once

class QPainter;

namespace nvx::drawing {

// Everything that changes between two drawings of the dog. The dog faces
// right in a 192 × 208 cell and stands on the line y = 202.
struct DogPose {
    enum class Posture { standing, sitting, lying };
    enum class Eyes { open, happy, sad, wide, closed };
    enum class Extra { none, sniffPuffs, thinkingDots, sparkles, wagLines, rainCloud };

    Posture posture = Posture::standing;
    Eyes eyes = Eyes::open;
    Extra extra = Extra::none;
    int extraStep = 0;  // which phase of the extra (number of dots, puff size...)

    double bodyX = 0, bodyY = 0;  // whole-body offset (a hop lifts it)
    double bodyAngle = 0;         // degrees, turned about the hips
    double legAngles[4] = {0, 0, 0, 0};  // back far, back near, front far, front near
    double legLength = 58;
    double headX = 0, headY = 0;  // head offset from the neck
    double headAngle = 0;         // degrees; positive lowers the nose
    double earAngle = 0;          // degrees; negative lifts the ear
    double tailAngle = -140;      // direction from the tail's root, degrees
    bool tongue = false;
    bool mirrored = false;        // facing left
};

void drawDog(QPainter& painter, const DogPose& pose);

}  // namespace nvx::drawing
