// The host interface, all of it: what a plug-in includes.
#pragma once

#include "avx/avx_global.h"
#include "avx/avx_host.h"
#include "avx/avx_image.h"
#include "avx/avx_instance.h"
#include "avx/avx_model.h"
#include "avx/avx_overlay.h"
#include "avx/avx_param.h"
#include "avx/avx_types.h"

class avxModel_v1;
class avxOverlay_v1;

// The two factories a plug-in exports under these undecorated names.
extern "C" {
typedef avxModel_v1* (*avxNewModelFunction)();
typedef avxOverlay_v1* (*avxNewOverlayFunction)();
}
#define AVX_NEW_MODEL_SYMBOL "avxNewModel_v1"
#define AVX_NEW_OVERLAY_SYMBOL "avxNewOverlay_v1"
