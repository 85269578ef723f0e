// Process-wide state of the loaded plug-in.
#pragma once

#include <atomic>

// True from load until the first render request of any instance; while it is
// true, parameter changes cause no maintenance (the host is still setting up).
// Atomic because instances may render on several host threads; it only
// ever goes from true to false.
extern std::atomic<bool> firstRenderPending;

// The module handle recorded by the entry point (dialog resources live there).
extern void* moduleHandle;
