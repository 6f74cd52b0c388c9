#pragma once

#include <QVariantList>

namespace nvx {

// The collector's section table as QML reads it: a list of {key, title}
// maps in table order, handed to the window as a required property.
QVariantList inventorySectionsForQml();

}  // namespace nvx
