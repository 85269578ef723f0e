// The corvalis link registered in this process, in a chain over a clip made
// by FFmpeg, asked for frames as consumers ask: in any order, on several
// threads, trimmed.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "mlt/corvalis_link.h"
#include "refhost/effect_host.h"
#include "refhost/effect_settings.h"

// Under the sanitizers, MLT's own faults are not reported (the files say
// which); telling its leaks from ours takes whole stacks, as MLT's libraries
// keep no frame pointers.
extern "C" const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0:suppressions=" MLT_ASAN_SUPPRESSIONS;
}
extern "C" const char* __lsan_default_options() { return "suppressions=" MLT_LEAK_SUPPRESSIONS; }

namespace {

std::mutex logMutex;
std::string logged;

void CollectLog(void*, int level, const char* format, va_list arguments) {
  if (level > MLT_LOG_WARNING) return;
  char line[1024];
  std::vsnprintf(line, sizeof line, format, arguments);
  std::lock_guard<std::mutex> lock(logMutex);
  logged += line;
}

class MltEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The system's data beside the link's description.
    setenv("MLT_DATA", MLT_TEST_DATA, 1);
    repository = mlt_factory_init(nullptr);
    ASSERT_NE(repository, nullptr);
    mltlink::RegisterServices(repository);
    mlt_log_set_callback(CollectLog);
  }
  // The factory stays open: closing it unloads MLT's modules, and what they
  // never free could no longer be told from ours.
  static mlt_repository repository;
};
mlt_repository MltEnvironment::repository = nullptr;
const auto* const environment = ::testing::AddGlobalTestEnvironment(new MltEnvironment);

std::string MakeClip(const std::string& name, const std::string& arguments) {
  const std::string path = ::testing::TempDir() + "corvalis-link-" + name;
  const std::string command =
      "ffmpeg -nostdin -v error -y " + arguments + " '" + path + "' </dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return path;
}

// A chain over `clip` ending in a corvalis link set up by `properties`.
class Chain {
 public:
  Chain(const std::string& clip, const std::vector<std::pair<std::string, std::string>>& properties)
      : profile_(mlt_profile_init(nullptr)) {
    source_ = mlt_factory_producer(profile_, "avformat", clip.c_str());
    EXPECT_NE(source_, nullptr);
    mlt_profile_from_producer(profile_, source_);
    chain_ = mlt_chain_init(profile_);
    mlt_chain_set_source(chain_, source_);
    link_ = static_cast<mlt_link>(mlt_factory_link("corvalis", nullptr));
    EXPECT_NE(link_, nullptr);
    mlt_chain_attach(chain_, link_);
    for (const auto& [name, value] : properties) {
      mlt_properties_set(MLT_LINK_PROPERTIES(link_), name.c_str(), value.c_str());
    }
  }
  ~Chain() {
    mlt_link_close(link_);
    mlt_chain_close(chain_);
    mlt_producer_close(source_);
    mlt_profile_close(profile_);
  }

  // The chain's frame at `position`, not yet rendered.
  mlt_frame Frame(int position) {
    mlt_producer_seek(MLT_CHAIN_PRODUCER(chain_), position);
    mlt_frame frame = nullptr;
    EXPECT_EQ(mlt_service_get_frame(MLT_CHAIN_SERVICE(chain_), &frame, 0), 0);
    return frame;
  }
  // The picture of a frame as a consumer asks for it (RGBA, then closed).
  static std::vector<uint8_t> Picture(mlt_frame frame, int width = 0, int height = 0) {
    mlt_image_format format = mlt_image_rgba;
    uint8_t* image = nullptr;
    EXPECT_EQ(mlt_frame_get_image(frame, &image, &format, &width, &height, 0), 0);
    EXPECT_EQ(format, mlt_image_rgba);
    std::vector<uint8_t> pixels(image, image + static_cast<size_t>(width) * height * 4);
    mlt_frame_close(frame);
    return pixels;
  }
  // Frame `position` of the clip itself, at its own field order.
  std::vector<uint8_t> SourcePicture(int position) {
    mlt_producer_seek(source_, position);
    mlt_frame frame = nullptr;
    mlt_service_get_frame(MLT_PRODUCER_SERVICE(source_), &frame, 0);
    mlt_properties_set_int(MLT_FRAME_PROPERTIES(frame), "consumer.top_field_first",
                           mlt_properties_get_int(MLT_FRAME_PROPERTIES(frame), "top_field_first"));
    return Picture(frame);
  }

 private:
  mlt_profile profile_;
  mlt_producer source_ = nullptr;
  mlt_chain chain_ = nullptr;
  mlt_link link_ = nullptr;
};

TEST(CorvalisLink, PassesTheSourceThroughAndGivesTheSameFramesInAnyOrderOnAnyThreads) {
  // Bottom field first at an odd size: what melt's tests show passes through
  // and ramps right is here under the sanitizers' eyes.
  const std::string clip = MakeClip(
      "ramp.mkv", "-f lavfi -i testsrc2=size=64x50:rate=25:duration=0.8 -vf "
                  "format=bgra,crop=63:49:0:0,setfield=bff -c:v ffv1 -pix_fmt bgra -field_order bb");
  const std::vector<std::pair<std::string, std::string>> ramp = {
      {"deinterlace", "Adaptive"}, {"speed", "0=100;8=-40;16=100"}, {"hold", "8|=3;16|=0"}};
  constexpr int kFrames = 20;
  std::vector<std::vector<uint8_t>> forward;
  {
    Chain chain(clip, ramp);
    for (int position = 0; position < kFrames; ++position) {
      forward.push_back(Chain::Picture(chain.Frame(position)));
    }
  }
  Chain chain(clip, ramp);
  // Frames made in reverse order on this thread, pictures asked for on three.
  std::vector<mlt_frame> frames(kFrames);
  for (int position = kFrames - 1; position >= 0; --position) {
    frames[position] = chain.Frame(position);
  }
  std::vector<std::vector<uint8_t>> pictures(kFrames);
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int position = kFrames - 1 - t; position >= 0; position -= 3) {
        pictures[position] = Chain::Picture(frames[position]);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int position = 0; position < kFrames; ++position) {
    EXPECT_EQ(pictures[position], forward[position]) << "frame " << position;
  }
  EXPECT_NE(forward[12], chain.SourcePicture(12)) << "the ramp changes the picture";
  // At full speed, the source's pictures at its own field order, whichever it is.
  // clang-format off
  for (const auto& [name, make, progressive, topFirst] : {
           std::tuple<const char*, const char*, int, int>{"ramp.mkv", nullptr, 0, 0},
           {"top.mkv", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -vf setfield=tff -c:v ffv1 -pix_fmt bgra -field_order tt", 0, 1},
           {"progressive.mkv", "-f lavfi -i testsrc2=size=48x32:rate=24:duration=0.4 -c:v ffv1 -pix_fmt bgra", 1, 0}}) {
    // clang-format on
    Chain plain(make ? MakeClip(name, make) : clip, {{"deinterlace", "Interpolated"}});
    for (int position : {0, 7, 9}) {
      mlt_frame frame = plain.Frame(position);
      EXPECT_EQ(mlt_properties_get_int(MLT_FRAME_PROPERTIES(frame), "progressive"), progressive);
      EXPECT_EQ(mlt_properties_get_int(MLT_FRAME_PROPERTIES(frame), "top_field_first"), topFirst);
      EXPECT_EQ(Chain::Picture(frame), plain.SourcePicture(position)) << name << " " << position;
    }
  }
}

TEST(CorvalisLink, SettingsItCannotUseAreLoggedAndItsFramesAreBlack) {
  const std::string clip = MakeClip(
      "short.mkv", "-f lavfi -i testsrc2=size=32x24:rate=25:duration=0.2 -c:v ffv1 -pix_fmt bgra");
  const std::vector<uint8_t> black(32 * 24 * 4, 0);
  for (const auto& [name, value, problem] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"deinterlace", "Fast", "property deinterlace: unknown label \"Fast\""},
           {"speed", "0=100;3=20000", "property speed, the key at frame 3: 20000 is out of range"},
           {"frames", "none", "property frames: must be a whole number"},
           {"video_type", "film", "property video_type: must be \"progressive\" or"},
           {"project", "/nonexistent/ramp.json", "/nonexistent/ramp.json"}}) {
    logged.clear();
    Chain chain(clip, {{name, value}});
    EXPECT_EQ(Chain::Picture(chain.Frame(1), 32, 24), black);
    EXPECT_NE(logged.find(problem), std::string::npos) << logged;
  }
  // Outside the effect's frames there is nothing.
  Chain chain(clip, {{"frames", "2"}});
  EXPECT_NE(Chain::Picture(chain.Frame(1)), black);
  EXPECT_EQ(Chain::Picture(chain.Frame(3)), black);
}

TEST(CorvalisLink, ItsDescriptionNamesEveryParameterOfTheEffectWithItsRangeAndLabels) {
  // Through the repository, from the data folder, as MLT's tools ask for it.
  mlt_properties description =
      mlt_repository_metadata(MltEnvironment::repository, mlt_service_link_type, "corvalis");
  ASSERT_NE(description, nullptr);
  auto* parameters =
      static_cast<mlt_properties>(mlt_properties_get_data(description, "parameters", nullptr));
  ASSERT_NE(parameters, nullptr);
  auto find = [parameters](const std::string& id) -> mlt_properties {
    for (int i = 0; i < mlt_properties_count(parameters); ++i) {
      auto* entry = static_cast<mlt_properties>(mlt_properties_get_data_at(parameters, i, nullptr));
      const char* identifier = mlt_properties_get(entry, "identifier");
      if (identifier && id == identifier) return entry;
    }
    return nullptr;
  };
  refhost::Plugin plugin;
  refhost::ProjectSettings settings;
  settings.totalFrames = 2;
  refhost::EffectHost host(plugin, settings);
  for (const std::string& id : refhost::ParameterIds(host)) {
    SCOPED_TRACE(id);
    mlt_properties entry = find(id);
    ASSERT_NE(entry, nullptr);
    avxParameter* parameter = host.Parameter(id);
    if (parameter->Kind() == avxParamKind::kNumber) {
      auto* number = static_cast<avxPNumber*>(parameter);
      EXPECT_EQ(std::pair(mlt_properties_get_double(entry, "minimum"),
                          mlt_properties_get_double(entry, "maximum")),
                std::pair(number->Lower(), number->Upper()));
    }
    if (parameter->Kind() == avxParamKind::kList) {
      // A values list where MLT can read one, else the labels in the description.
      const std::vector<std::string>& items = static_cast<avxPList*>(parameter)->Items();
      auto* values = static_cast<mlt_properties>(mlt_properties_get_data(entry, "values", nullptr));
      if (values != nullptr) {
        std::vector<std::string> labels;
        for (int i = 0; i < mlt_properties_count(values); ++i) {
          const char* label = mlt_properties_get_value(values, i);
          labels.push_back(label ? label : "");
        }
        EXPECT_EQ(labels, items);
      } else {
        const std::string described = mlt_properties_get(entry, "description");
        for (const std::string& item : items) {
          EXPECT_NE(described.find("\"" + item + "\""), std::string::npos) << item;
        }
      }
    }
  }
  for (const char* own : {"project", "video_type", "field_dominance", "frames", "instance_data"}) {
    EXPECT_NE(find(own), nullptr) << own;
  }
}

}  // namespace
