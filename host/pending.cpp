// Temporary definitions while the subsystems land; each moves to its own
// folder and is deleted here.
#include "host/corvalis.h"
#include "overlay/corvalis_overlay.h"

bool Corvalis::UpdateParams() { return false; }
void Corvalis::RebuildKeyTable() {}
void Corvalis::BuildTimeline() {}
void Corvalis::LocateCurrentSource(int32_t, bool) {}
bool Corvalis::GenerateOutput(FrameBuffer&) { return false; }
int32_t Corvalis::MaxOrder() const { return 0; }
int32_t Corvalis::FindKeyByOrder(int32_t) const { return -1; }
bool Corvalis::OpenPhaseDialog() { return false; }
void CorvalisOverlay::Draw(bool) {}
