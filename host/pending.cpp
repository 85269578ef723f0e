// Temporary definitions while the subsystems land; each moves to its own
// folder and is deleted here.
#include "host/corvalis.h"
#include "overlay/corvalis_overlay.h"

void CorvalisOverlay::Draw(bool) {}
