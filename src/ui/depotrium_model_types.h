#pragma once

#include <QtQml/qqmlregistration.h>

#include "app/depotrium_model.h"

namespace nvx {

// Makes the application model known to QML by its own name, so that views
// can declare `required property DepotriumModel model`. Instances come only
// from C++.
struct DepotriumModelForQml {
    Q_GADGET
    QML_FOREIGN(nvx::DepotriumModel)
    QML_NAMED_ELEMENT(DepotriumModel)
    QML_UNCREATABLE("The model is made by the application and handed to the window.")
};

// The pet's moods as QML sees them (BurkoState.measuring, ...), so that
// the type of the model's `petState` is known to the module.
namespace BurkoStateForQml {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(nvx::BurkoStateNamespace)
QML_NAMED_ELEMENT(BurkoState)
}  // namespace BurkoStateForQml

}  // namespace nvx
