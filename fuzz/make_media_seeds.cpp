// Writes the seed corpus of the media reader's fuzz target into a folder:
// small clips in the containers and codecs the tool meets, each also cut
// short at several points and with a few bits flipped, so that fuzzing starts
// from damaged files as well as whole ones.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cli/media_error.h"
#include "cli/media_writer.h"
#include "cli/tests/temp_dir.h"

namespace {

struct Clip {
  const char* name;  // file name; the extension picks the container
  const char* codec;
  cli::FieldOrder fieldOrder;
  int keyFrameInterval;
};

constexpr int kWidth = 32;
constexpr int kHeight = 24;
constexpr int kFrames = 5;

// Gradients that move from frame to frame, opaque.
std::vector<uint8_t> Picture(int frame) {
  std::vector<uint8_t> pixels(kWidth * kHeight * 4);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<uint8_t>(i % 4 == 3 ? 255 : i / 4 * (i % 4 + 1) + 16 * frame);
  }
  return pixels;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_media_seeds FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const Clip clips[] = {
      {"ffv1.mkv", "ffv1", cli::FieldOrder::kTopFirst, 0},
      {"ffv1.avi", "ffv1", cli::FieldOrder::kProgressive, 0},
      {"mpeg4.mp4", "mpeg4", cli::FieldOrder::kProgressive, 3},
      {"mpeg2.ts", "mpeg2video", cli::FieldOrder::kBottomFirst, 2},
      {"huffyuv.avi", "huffyuv", cli::FieldOrder::kProgressive, 0},
      {"rawvideo.nut", "rawvideo", cli::FieldOrder::kProgressive, 0},
      {"prores.mov", "prores_ks", cli::FieldOrder::kTopFirst, 0},
      {"h264.mkv", "libx264", cli::FieldOrder::kProgressive, 2},
  };
  int written = 0;
  uint32_t random = 12345;
  for (const Clip& clip : clips) {
    const std::string path = folder + "/" + clip.name;
    try {
      cli::MediaWriterOptions options;
      options.codec = clip.codec;
      options.overwrite = true;
      options.keyFrameInterval = clip.keyFrameInterval;
      cli::MediaWriter writer(path, kWidth, kHeight, cli::Rational{25, 1}, clip.fieldOrder,
                              options);
      for (int f = 0; f < kFrames; ++f) writer.Write(Picture(f).data(), kWidth * 4);
      writer.Finish();
    } catch (const cli::MediaError& error) {
      std::fprintf(stderr, "skipped: %s\n", error.what());
      continue;
    }
    const std::string whole = cli::ReadBytes(path);
    ++written;
    for (int part : {1, 2, 3}) {
      std::ofstream(path + ".cut" + std::to_string(part), std::ios::binary)
          << whole.substr(0, whole.size() * part / 4);
      ++written;
    }
    for (int variant = 0; variant < 4; ++variant) {
      std::string flipped = whole;
      for (int bit = 0; bit <= variant * 2; ++bit) {
        random = random * 1664525u + 1013904223u;
        flipped[(random >> 8) % flipped.size()] ^= static_cast<char>(1u << (random % 8));
      }
      std::ofstream(path + ".flip" + std::to_string(variant), std::ios::binary) << flipped;
      ++written;
    }
  }
  std::printf("%d media seeds in %s\n", written, folder.c_str());
  return written > 0 ? 0 : 1;
}
