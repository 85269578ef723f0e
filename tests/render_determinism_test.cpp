// The same project gives the same bytes, and full speed passes the source
// through: a ramp with a hold over a moving square (so that the adaptive step
// blends), in every deinterlace mode, by two fresh instances going forward and
// backward through the frames (so their caches differ at every step), on
// even-sized top-first, odd-sized bottom-first (fields one row apart in
// height) and odd-sized frame-based material. A read of memory no one wrote,
// or a result that depends on what was rendered before, shows as a
// difference; scripts/memcheck runs this under valgrind.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "refhost/effect_host.h"
#include "refhost/plugin.h"
#include "test_clips.h"

namespace {

constexpr int32_t kFrames = 50;  // 100 output fields

struct Material {
  int32_t width, height, videoType;  // video type 0: frame based
  avxField dominance;
};

std::map<int32_t, std::vector<uint8_t>> RenderAll(refhost::Plugin& plugin, const Material& material,
                                                  int32_t mode, bool backward) {
  refhost::ProjectSettings settings = testclips::Settings(material.width, material.height, kFrames);
  settings.videoType = material.videoType;
  settings.fieldDominance = material.dominance;
  refhost::EffectHost host(plugin, settings);
  host.SetInput(1, testclips::MovingSquareClip(material.width, material.height, kFrames));
  // Full speed, then slower down to a hold, then fast.
  testclips::SetRamp(host, {{0.0, 100, 0}, {0.3, 100, 0}, {0.4, 37, 6}, {0.7, 150, 0}});
  host.SetList("deinterlace", mode);
  host.SetBool("blending", mode != 0);

  std::map<int32_t, std::vector<uint8_t>> pictures;
  for (int32_t f = 0; f < kFrames; ++f) {
    const int32_t frame = backward ? kFrames - 1 - f : f;
    refhost::Picture picture;
    EXPECT_TRUE(host.RenderFrame(frame, picture)) << "frame " << frame;
    pictures[frame] = std::move(picture.pixels);
  }
  return pictures;
}

TEST(RenderDeterminism, HundredFieldsOfEveryModeAreTheSameInAnyOrder) {
  refhost::Plugin plugin;
  for (const Material& material :
       {Material{64, 48, 1, kAvxFieldOdd}, Material{37, 23, 1, kAvxFieldEven},
        Material{37, 23, 0, kAvxFieldOdd}}) {
    for (int32_t mode = 0; mode < 4; ++mode) {
      SCOPED_TRACE(testing::Message() << material.width << "x" << material.height << " video type "
                                      << material.videoType << ", deinterlace mode " << mode);
      const auto forward = RenderAll(plugin, material, mode, false);
      const auto backward = RenderAll(plugin, material, mode, true);
      ASSERT_EQ(forward.size(), static_cast<size_t>(kFrames));
      // The first 30 % of the effect, at full speed, pass the source through exactly.
      const auto clip = testclips::MovingSquareClip(material.width, material.height, kFrames);
      for (int32_t frame = 0; frame < 15; ++frame) {
        EXPECT_EQ(forward.at(frame), clip->FramePixels(frame)) << "frame " << frame;
      }
      int differing = 0;
      for (const auto& [frame, pixels] : forward) {
        EXPECT_EQ(pixels, backward.at(frame)) << "frame " << frame;
        differing += frame > 0 && pixels != forward.at(frame - 1);
      }
      // The ramp moves the picture: most frames differ from the one before.
      EXPECT_GT(differing, kFrames / 2);
    }
  }
}

}  // namespace
