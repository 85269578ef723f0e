// The hand-written planar RGB path gives the bytes swscale gives, with the
// flags the reader uses, for any width (vector bodies and their tails) and
// padded planes.
#include "cli/pixel_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

namespace cli {
namespace {

}  // namespace
}  // namespace cli
