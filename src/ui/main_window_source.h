#pragma once

class QQmlApplicationEngine;

namespace nvx {

// Loads the module's main window, "Main" of module "Depotrium", into the
// engine (initial properties set beforehand). Qt 6.5 has loadFromModule for
// this; before it, the module's resource path is the way in.
void loadMainWindow(QQmlApplicationEngine& engine);

}  // namespace nvx
