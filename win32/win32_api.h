// The Win32 user-interface calls the plug-in's dialog makes.
//
// On Windows these are the system's own. Elsewhere a small stand-in provides
// the same names, types and messages, and runs a dialog against a driver the
// host supplies (win32/dialog_driver.h) instead of a screen and a user, so the
// dialog code above this header is one and the same on both.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "win32/standin.h"
#endif
