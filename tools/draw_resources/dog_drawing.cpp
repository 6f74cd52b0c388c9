#include "dog_pose.h"

#include <QPainter>
#include <QTransform>

#include <cmath>
#include <numbers>

#include "shapes.h"

namespace nvx::drawing {

namespace {

// The coat: a wheat-coloured shaggy mongrel with darker ears and a rust
// collar carrying a yellow tag.
const QColor fur(0xd2, 0xbd, 0x9c);
const QColor furShade(0xb0, 0x97, 0x76);
const QColor furLight(0xe8, 0xdc, 0xc6);
const QColor earFur(0x8c, 0x6f, 0x55);
const QColor outline(0x4a, 0x3b, 0x2e);
const QColor noseColour(0x2a, 0x24, 0x21);
const QColor tongueColour(0xdf, 0x72, 0x76);
const QColor collarColour(148, 59, 26);
const QColor tagColour(0xf1, 0xc4, 0x32);

constexpr double outlineWidth = 2.2;

QPointF turned(QPointF vector, double degrees) {
    const double a = degrees * std::numbers::pi / 180.0;
    return {vector.x() * std::cos(a) - vector.y() * std::sin(a),
            vector.x() * std::sin(a) + vector.y() * std::cos(a)};
}

void fill(QPainter& painter, const QPainterPath& path, const QColor& colour) {
    painter.setPen(QPen(outline, outlineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(colour);
    painter.drawPath(path);
}

void strokes(QPainter& painter, const QColor& colour, double width) {
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
}

// A leg hanging from `hip`, turned by `angle` degrees (positive swings the
// paw backwards), with its paw.
void drawLeg(QPainter& painter, QPointF hip, double length, double angle, const QColor& colour) {
    const QPointF middle = hip + turned({0, length / 2}, angle);
    fill(painter, tuftedBlob(middle, 9.5, length / 2 + 2, 12, 0.07, angle), colour);
    const QPointF foot = hip + turned({0, length}, angle);
    fill(painter, turnedRoundedRect(foot + turned({4, -2}, angle), 22, 10, 5, angle),
         colour.darker(112));
}

void drawTail(QPainter& painter, QPointF root, double angle) {
    const QPointF direction = turned({1, 0}, angle);
    fill(painter, tuftedBlob(root + direction * 16, 21, 8.5, 12, 0.16, angle), furShade);
    fill(painter, tuftedBlob(root + direction * 31, 9, 6.5, 8, 0.18, angle), furLight);
}

void drawFurMarks(QPainter& painter, QPointF centre, double spread) {
    strokes(painter, furShade, 1.8);
    for (int k = 0; k < 6; ++k) {
        const QPointF start = centre + QPointF(-spread + k * spread / 2.6, -6 + (k % 2) * 11);
        QPainterPath mark(start);
        mark.quadTo(start + QPointF(3, 4), start + QPointF(1, 9));
        painter.drawPath(mark);
    }
}

void drawEye(QPainter& painter, DogPose::Eyes eyes) {
    const QPointF eye(28, -25);
    switch (eyes) {
    case DogPose::Eyes::open:
        painter.setPen(Qt::NoPen);
        painter.setBrush(noseColour);
        painter.drawEllipse(eye, 4.2, 5.0);
        painter.setBrush(Qt::white);
        painter.drawEllipse(eye + QPointF(1.4, -1.8), 1.4, 1.4);
        break;
    case DogPose::Eyes::wide:
        painter.setPen(QPen(outline, 1.6));
        painter.setBrush(Qt::white);
        painter.drawEllipse(eye, 6.0, 6.6);
        painter.setPen(Qt::NoPen);
        painter.setBrush(noseColour);
        painter.drawEllipse(eye + QPointF(1, 0.5), 3.2, 3.6);
        break;
    case DogPose::Eyes::sad: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(noseColour);
        painter.drawEllipse(eye + QPointF(0, 2), 3.6, 4.0);
        strokes(painter, outline, 2.2);
        painter.drawLine(eye + QPointF(-7, -4), eye + QPointF(5, -8));
        break;
    }
    case DogPose::Eyes::happy: {
        strokes(painter, noseColour, 2.8);
        QPainterPath arc(eye + QPointF(-5, 2));
        arc.quadTo(eye + QPointF(0, -6), eye + QPointF(5, 2));
        painter.drawPath(arc);
        break;
    }
    case DogPose::Eyes::closed: {
        strokes(painter, noseColour, 2.6);
        QPainterPath arc(eye + QPointF(-5, 0));
        arc.quadTo(eye + QPointF(0, 4), eye + QPointF(5, 0));
        painter.drawPath(arc);
        break;
    }
    }
}

// The head in its own frame: the origin is the neck, the nose points right.
void drawHead(QPainter& painter, const DogPose& pose) {
    fill(painter, tuftedBlob({6, -14}, 9, 17, 9, 0.12, 14 + pose.earAngle * 0.5), earFur.darker(115));
    fill(painter, tuftedBlob({12, -22}, 26, 24, 16, 0.1), fur);
    fill(painter, tuftedBlob({28, -6}, 15, 11, 9, 0.12), furLight);
    fill(painter, tuftedBlob({39, -11}, 18, 12, 10, 0.08), furLight);
    painter.setPen(QPen(outline, 1.5));
    painter.setBrush(noseColour);
    painter.drawEllipse(QPointF(55, -15), 6.5, 5.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 170));
    painter.drawEllipse(QPointF(53.5, -17), 2.0, 1.3);
    if (pose.tongue) {
        QPainterPath tongue;
        tongue.addRoundedRect(QRectF(39, -4, 10, 14), 5, 5);
        fill(painter, tongue, tongueColour);
    }
    strokes(painter, outline, 2.0);
    QPainterPath mouth(QPointF(53, -7));
    if (pose.eyes == DogPose::Eyes::sad) {
        mouth.quadTo({46, -8}, {38, -3});
    } else {
        mouth.quadTo({47, -1}, {37, -4});
    }
    painter.drawPath(mouth);
    drawEye(painter, pose.eyes);
    // The fringe hangs over the eye; a startled dog lifts it.
    const double fringeLift = pose.eyes == DogPose::Eyes::wide ? -5 : 0;
    fill(painter, tuftedBlob({20, -40 + fringeLift}, 19, 8, 9, 0.22, 8), fur);
    painter.save();
    painter.translate(2, -33);
    painter.rotate(pose.earAngle);
    fill(painter, tuftedBlob({-2, 17}, 10, 18, 10, 0.12, 6), earFur);
    painter.restore();
}

void drawExtra(QPainter& painter, const DogPose& pose) {
    const int step = pose.extraStep;
    switch (pose.extra) {
    case DogPose::Extra::none:
        break;
    case DogPose::Extra::sniffPuffs:
        strokes(painter, QColor(0x8a, 0x82, 0x74), 1.6);
        for (int k = 0; k <= step % 3; ++k) {
            painter.drawEllipse(QPointF(178 - k * 3, 190 - k * 8), 2.5 + k * 1.5, 2.5 + k * 1.5);
        }
        break;
    case DogPose::Extra::thinkingDots: {
        painter.setPen(QPen(outline, 1.8));
        painter.setBrush(QColor(255, 255, 255, 235));
        painter.drawEllipse(QPointF(146, 52), 3, 3);
        painter.drawEllipse(QPointF(152, 42), 4.5, 4.5);
        painter.drawRoundedRect(QRectF(140, 10, 46, 24), 12, 12);
        painter.setPen(Qt::NoPen);
        painter.setBrush(outline);
        for (int k = 0; k <= step % 3; ++k) painter.drawEllipse(QPointF(152 + k * 11, 22), 3, 3);
        break;
    }
    case DogPose::Extra::sparkles: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(tagColour);
        const QPointF places[] = {{150, 30}, {172, 60}, {30, 60}, {48, 28}};
        for (int k = 0; k < 4; ++k) {
            if ((k + step) % 2 != 0) continue;
            const QPointF c = places[k];
            const double r = 7;
            QPainterPath star(c + QPointF(0, -r));
            star.quadTo(c, c + QPointF(r, 0));
            star.quadTo(c, c + QPointF(0, r));
            star.quadTo(c, c + QPointF(-r, 0));
            star.quadTo(c, c + QPointF(0, -r));
            painter.drawPath(star);
        }
        break;
    }
    case DogPose::Extra::wagLines: {
        strokes(painter, outline, 1.8);
        const double offset = (step % 2) * 6;
        QPainterPath one(QPointF(14, 64 + offset));
        one.quadTo({8, 74 + offset}, {12, 84 + offset});
        QPainterPath two(QPointF(24, 58 + offset));
        two.quadTo({17, 70 + offset}, {21, 82 + offset});
        painter.drawPath(one);
        painter.drawPath(two);
        break;
    }
    case DogPose::Extra::rainCloud: {
        const QColor cloud(0x9a, 0x9c, 0x98);
        painter.setPen(QPen(outline, 1.6));
        painter.setBrush(cloud);
        QPainterPath shape;
        shape.addEllipse(QPointF(132, 108), 14, 11);
        shape.addEllipse(QPointF(148, 102), 15, 13);
        shape.addEllipse(QPointF(164, 108), 13, 10);
        shape.addRoundedRect(QRectF(120, 106, 56, 12), 6, 6);
        painter.drawPath(shape.simplified());
        strokes(painter, QColor(0x5d, 0x8a, 0xa8), 2.0);
        for (int k = 0; k < 3; ++k) {
            const double y = 124 + ((step + k) % 3) * 6;
            painter.drawLine(QPointF(134 + k * 14, y), QPointF(132 + k * 14, y + 5));
        }
        break;
    }
    }
}

struct Skeleton {
    QPointF hips[4];     // back far, back near, front far, front near
    QPointF tailRoot;
    QPointF neck;
};

}  // namespace

void drawDog(QPainter& painter, const DogPose& pose) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (pose.mirrored) {
        painter.translate(192, 0);
        painter.scale(-1, 1);
    }

    // Shadow on the ground, smaller while the dog is in the air.
    const double lift = std::min(0.0, pose.bodyY);
    const double shadowWidth = (pose.posture == DogPose::Posture::lying ? 130 : 112) * (1 + lift / 90);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 30, 20, 45));
    painter.drawEllipse(QPointF(96 + pose.bodyX, 202), shadowWidth / 2, 5);

    painter.save();
    painter.translate(pose.bodyX, pose.bodyY);

    switch (pose.posture) {
    case DogPose::Posture::standing: {
        painter.save();
        painter.translate(62, 128);
        painter.rotate(pose.bodyAngle);
        painter.translate(-62, -128);
        const double length = pose.legLength;
        const double drop = 58 - length;  // shorter legs lower the body
        drawLeg(painter, {70, 138 + drop}, length + 2, pose.legAngles[0], furShade);
        drawLeg(painter, {128, 138 + drop}, length + 2, pose.legAngles[2], furShade);
        drawTail(painter, {44, 116 + drop}, pose.tailAngle);
        fill(painter, tuftedBlob({90, 126 + drop}, 50, 30, 22, 0.08), fur);
        drawFurMarks(painter, {84, 124 + drop}, 28);
        fill(painter, tuftedBlob({124, 128 + drop}, 17, 19, 10, 0.12), furLight);
        drawLeg(painter, {58, 142 + drop}, length, pose.legAngles[1], fur);
        drawLeg(painter, {116, 142 + drop}, length, pose.legAngles[3], fur);
        const QPointF neck(126 + pose.headX, 106 + drop + pose.headY);
        fill(painter, turnedRoundedRect(neck + QPointF(-2, 8), 9, 30, 4, 20), collarColour);
        painter.setPen(QPen(outline, 1.5));
        painter.setBrush(tagColour);
        painter.drawEllipse(neck + QPointF(-5, 24), 4.5, 4.5);
        painter.translate(neck);
        painter.rotate(pose.headAngle);
        drawHead(painter, pose);
        painter.restore();
        break;
    }
    case DogPose::Posture::sitting: {
        drawTail(painter, {48, 188}, pose.tailAngle);
        drawLeg(painter, {112, 150}, 50, pose.legAngles[2], furShade);
        fill(painter, tuftedBlob({84, 142}, 40, 32, 18, 0.09, -58), fur);
        fill(painter, tuftedBlob({68, 172}, 32, 25, 14, 0.1), fur);
        drawFurMarks(painter, {70, 168}, 18);
        fill(painter, turnedRoundedRect({86, 197}, 26, 10, 5, 0), fur.darker(112));
        fill(painter, tuftedBlob({108, 124}, 17, 21, 10, 0.12, -10), furLight);
        drawLeg(painter, {102, 150}, 50, pose.legAngles[3], fur);
        const QPointF neck(110 + pose.headX, 98 + pose.headY);
        fill(painter, turnedRoundedRect(neck + QPointF(-2, 8), 9, 30, 4, 20), collarColour);
        painter.setPen(QPen(outline, 1.5));
        painter.setBrush(tagColour);
        painter.drawEllipse(neck + QPointF(-5, 24), 4.5, 4.5);
        painter.translate(neck);
        painter.rotate(pose.headAngle);
        drawHead(painter, pose);
        break;
    }
    case DogPose::Posture::lying: {
        drawTail(painter, {40, 186}, pose.tailAngle);
        drawLeg(painter, {116, 182}, 40, -90 + pose.legAngles[2], furShade);
        fill(painter, tuftedBlob({92, 176}, 56, 22, 24, 0.08), fur);
        drawFurMarks(painter, {86, 172}, 30);
        fill(painter, tuftedBlob({62, 180}, 25, 18, 12, 0.1), fur);
        drawLeg(painter, {124, 188}, 40, -90 + pose.legAngles[3], fur);
        const QPointF neck(132 + pose.headX, 170 + pose.headY);
        fill(painter, turnedRoundedRect(neck + QPointF(-4, 4), 9, 26, 4, 40), collarColour);
        painter.translate(neck);
        painter.rotate(pose.headAngle);
        drawHead(painter, pose);
        break;
    }
    }
    painter.restore();
    drawExtra(painter, pose);
    painter.restore();
}

}  // namespace nvx::drawing
