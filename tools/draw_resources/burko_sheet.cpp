#include "burko_sheet.h"

#include <QPainter>

#include <cmath>
#include <numbers>

#include "dog_pose.h"

namespace nvx::drawing {

namespace {

constexpr int cellWidth = 192;
constexpr int cellHeight = 208;
constexpr int rows = 11;
constexpr int columns = 8;

using Posture = DogPose::Posture;
using Eyes = DogPose::Eyes;
using Extra = DogPose::Extra;

DogPose idle(int frame) {
    static const double breath[] = {0, -0.6, -1.2, -1.2, -0.6, 0, 0, 0};
    static const double tail[] = {0, 5, 9, 5, 0, -5, 0, 0};
    DogPose pose;
    pose.bodyY = breath[frame];
    pose.headY = breath[frame] * 0.5;
    pose.tailAngle = -140 + tail[frame];
    pose.eyes = frame == 3 ? Eyes::closed : Eyes::open;
    return pose;
}

DogPose walking(int frame, bool left) {
    const double phase = frame / 8.0 * 2 * std::numbers::pi;
    DogPose pose;
    pose.mirrored = left;
    const double swing = 24 * std::sin(phase);
    pose.legAngles[0] = -swing;
    pose.legAngles[1] = swing;
    pose.legAngles[2] = swing;
    pose.legAngles[3] = -swing;
    pose.bodyY = -2.5 * std::abs(std::sin(phase));
    pose.headY = pose.bodyY * 0.5;
    pose.earAngle = -8 * std::sin(phase);
    pose.tailAngle = -148 + 8 * std::sin(2 * phase);
    return pose;
}

DogPose hop(int frame) {
    DogPose pose;
    pose.eyes = Eyes::happy;
    pose.tongue = true;
    pose.extra = Extra::sparkles;
    pose.extraStep = frame;
    switch (frame % 4) {
    case 0:  // crouch
        pose.legLength = 50;
        pose.headY = 2;
        pose.extra = Extra::none;
        break;
    case 1:  // take-off
        pose.bodyY = -24;
        pose.legAngles[0] = pose.legAngles[1] = 30;
        pose.legAngles[2] = pose.legAngles[3] = -30;
        pose.earAngle = -20;
        pose.tailAngle = -120;
        break;
    case 2:  // top of the hop, paws tucked
        pose.bodyY = -30;
        pose.legLength = 50;
        pose.legAngles[0] = pose.legAngles[1] = 48;
        pose.legAngles[2] = pose.legAngles[3] = -52;
        pose.earAngle = -32;
        pose.tailAngle = -110;
        break;
    default:  // landing
        pose.legLength = 55;
        pose.earAngle = 8;
        pose.tailAngle = -125;
        break;
    }
    return pose;
}

DogPose wag(int frame) {
    static const double tail[] = {-155, -118, -155, -118, -138, -118, -155, -138};
    DogPose pose;
    pose.eyes = Eyes::happy;
    pose.tongue = true;
    pose.tailAngle = tail[frame];
    pose.bodyX = frame % 2 == 0 ? -1 : 1;
    pose.headAngle = frame % 2 == 0 ? -4 : -7;
    pose.extra = Extra::wagLines;
    pose.extraStep = frame;
    return pose;
}

DogPose slump(int frame) {
    DogPose pose;
    pose.eyes = Eyes::sad;
    if (frame < 4) {
        pose.legLength = 58 - frame * 5;
        pose.headAngle = 8 + frame * 6;
        pose.earAngle = 10 + frame * 4;
        pose.tailAngle = -160 - frame * 8;
        return pose;
    }
    pose.posture = Posture::lying;
    pose.headAngle = 14;
    pose.earAngle = 24;
    pose.tailAngle = 176;
    pose.eyes = frame >= 6 ? Eyes::closed : Eyes::sad;
    if (frame >= 5) {
        pose.extra = Extra::rainCloud;
        pose.extraStep = frame;
    }
    return pose;
}

DogPose waiting(int frame) {
    static const double tilt[] = {-6, -2, 4, 8, 4, -2, -6, -2};
    DogPose pose;
    pose.posture = Posture::sitting;
    pose.headAngle = tilt[frame];
    pose.tailAngle = frame % 2 == 0 ? 176 : 186;
    pose.extra = Extra::thinkingDots;
    pose.extraStep = frame / 2;
    return pose;
}

DogPose frozen(int frame) {
    DogPose pose;
    pose.eyes = Eyes::wide;
    pose.earAngle = frame == 3 ? -16 : -10;
    pose.tailAngle = -168;
    return pose;
}

DogPose sniffing(int frame) {
    DogPose pose;
    pose.headAngle = 40 + (frame % 2) * 4;
    pose.headX = 4;
    pose.headY = 8;
    const double step = frame % 3 == 0 ? 6 : (frame % 3 == 1 ? 0 : -6);
    pose.legAngles[2] = step;
    pose.legAngles[3] = -step;
    pose.tailAngle = -128 + (frame % 2) * 10;
    pose.extra = Extra::sniffPuffs;
    pose.extraStep = frame;
    return pose;
}

DogPose sittingSmile(int frame) {
    DogPose pose;
    pose.posture = Posture::sitting;
    pose.eyes = Eyes::happy;
    pose.tongue = true;
    pose.headAngle = -10 + (frame % 3) * 3;
    pose.earAngle = -6;
    pose.tailAngle = 180;
    return pose;
}

DogPose asleep(int frame) {
    DogPose pose;
    pose.posture = Posture::lying;
    pose.eyes = Eyes::closed;
    pose.headAngle = 12;
    pose.earAngle = 20;
    pose.tailAngle = 172;
    pose.bodyY = frame % 4 < 2 ? 0 : -1;
    return pose;
}

DogPose poseFor(int row, int frame) {
    switch (row) {
    case 0: return idle(frame);
    case 1: return walking(frame, false);
    case 2: return walking(frame, true);
    case 3: return hop(frame);
    case 4: return wag(frame);
    case 5: return slump(frame);
    case 6: return waiting(frame);
    case 7: return frozen(frame);
    case 8: return sniffing(frame);
    case 9: return sittingSmile(frame);
    default: return asleep(frame);
    }
}

}  // namespace

QImage drawBurkoSheet(int scale) {
    QImage sheet(cellWidth * columns * scale, cellHeight * rows * scale, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::transparent);
    QPainter painter(&sheet);
    painter.scale(scale, scale);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            painter.save();
            painter.translate(column * cellWidth, row * cellHeight);
            painter.setClipRect(0, 0, cellWidth, cellHeight);
            drawDog(painter, poseFor(row, column));
            painter.restore();
        }
    }
    painter.end();
    return sheet;
}

}  // namespace nvx::drawing
