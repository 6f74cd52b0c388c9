#pragma once

namespace nvx {

// Runs the windowed application: the one model, the main window and its
// settings window. Returns 0 when the last window closes.
int runDepotriumWindow(int argc, char** argv);

}  // namespace nvx
