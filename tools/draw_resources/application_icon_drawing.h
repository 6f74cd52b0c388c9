#pragma once

#include <QImage>
#include <vector>

namespace nvx::drawing {

// The application's icon for menus and docks: the NVX crate mark in yellow
// on a dark rounded tile, `size` × `size` pixels. Small sizes drop the
// middle rail's rounding and keep whole-pixel rails so they stay sharp.
QImage drawApplicationIcon(int size);

// The sizes the icon theme expects an application to bring.
std::vector<int> applicationIconSizes();

}  // namespace nvx::drawing
