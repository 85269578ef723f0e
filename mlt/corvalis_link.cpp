#include "mlt/corvalis_link.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "mlt/link_settings.h"
#include "mlt/upstream.h"
#include "refhost/cached_clip.h"
#include "refhost/host_pool.h"
#include "refhost/plugin.h"

namespace mltlink {

namespace {

constexpr const char* kRenderProperty = "corvalis.render";
// The link's position when the frame was made: the services after the link
// (a playlist entry, a cut) give the frame their own positions.
constexpr const char* kEffectFrameProperty = "corvalis.frame";

// One setting of the effect and the instances rendering it.
class LinkRender {
 public:
  LinkRender(std::shared_ptr<refhost::Plugin> plugin, std::shared_ptr<refhost::CachedClip> clip,
             LinkSettings settings)
      : plugin_(std::move(plugin)),
        clip_(std::move(clip)),
        settings_(std::move(settings)),
        hosts_([this] { return settings_.NewHost(*plugin_, clip_); }) {
    // A setting the effect refuses is reported before any frame.
    hosts_.Prepare(1);
  }

  const refhost::ProjectSettings& Project() const { return settings_.Project(); }

  // Output frame `frame`; outside the effect there is nothing, as past the
  // end of a clip on a timeline.
  bool Render(int32_t frame, refhost::Picture& out) {
    const refhost::ProjectSettings& project = settings_.Project();
    if (frame < 0 || frame >= project.totalFrames) {
      out.width = project.width;
      out.height = project.height;
      out.pixels.assign(static_cast<size_t>(project.width) * project.height * 4, 0);
      return true;
    }
    refhost::HostPool::Lease host = hosts_.Acquire();
    host->ConsoleLines().clear();
    return host->RenderFrame(frame, out);
  }

 private:
  std::shared_ptr<refhost::Plugin> plugin_;
  std::shared_ptr<refhost::CachedClip> clip_;
  LinkSettings settings_;
  refhost::HostPool hosts_;
};

class LinkState {
 public:
  explicit LinkState(mlt_link link) : link_(link) {}

  // The render of the properties as they stand, set up anew when they
  // changed; null when they cannot be used (the problem is logged once).
  std::shared_ptr<LinkRender> CurrentRender() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string signature = SettingsSignature(MLT_LINK_PROPERTIES(link_));
    mlt_profile profile = ChainProfile(link_);
    if (profile) {
      signature += "profile=" + std::to_string(profile->frame_rate_num) + "/" +
                   std::to_string(profile->frame_rate_den);
    }
    if (signature == signature_ && (render_ || !problem_.empty())) return render_;
    signature_ = signature;
    render_.reset();
    try {
      if (!source_) {
        source_ = ReadSourceFacts(link_);
        mlt_log_verbose(MLT_LINK_SERVICE(link_), "source %dx%d, %d frames at %d/%d, %s\n",
                        source_->width, source_->height, source_->frameCount, source_->rateNum,
                        source_->rateDen,
                        source_->progressive     ? "progressive"
                        : source_->topFieldFirst ? "interlaced, top field first"
                                                 : "interlaced, bottom field first");
      }
      const std::string mismatch = RateMismatch(link_, *source_);
      if (!mismatch.empty()) throw std::runtime_error(mismatch);
      if (!plugin_) plugin_ = std::make_shared<refhost::Plugin>(PluginPath());
      if (!clip_) {
        const SourceFacts facts = *source_;
        mlt_link link = link_;
        clip_ = std::make_shared<refhost::CachedClip>(
            facts.width, facts.height, facts.frameCount,
            [link, facts](int32_t number) { return FetchUpstream(link, facts, number); });
      }
      render_ = std::make_shared<LinkRender>(plugin_, clip_,
                                             LinkSettings(MLT_LINK_PROPERTIES(link_), *source_));
      problem_.clear();
    } catch (const std::exception& error) {
      Report(error.what());
    }
    return render_;
  }

  // Logs a problem once for as long as it lasts.
  void Report(const std::string& problem) {
    if (problem == problem_) return;
    problem_ = problem;
    mlt_log_error(MLT_LINK_SERVICE(link_), "%s\n", problem.c_str());
  }

  const std::optional<SourceFacts>& Source() const { return source_; }

 private:
  mlt_link link_;
  std::mutex mutex_;
  std::shared_ptr<refhost::Plugin> plugin_;
  std::optional<SourceFacts> source_;
  std::shared_ptr<refhost::CachedClip> clip_;
  std::string signature_;
  std::shared_ptr<LinkRender> render_;
  std::string problem_;
};

void DeleteHeldRender(void* held) { delete static_cast<std::shared_ptr<LinkRender>*>(held); }

int GetImage(mlt_frame frame, uint8_t** image, mlt_image_format* format, int* width, int* height,
             int) {
  auto link = static_cast<mlt_link>(mlt_frame_pop_service(frame));
  mlt_properties properties = MLT_FRAME_PROPERTIES(frame);
  auto* held = static_cast<std::shared_ptr<LinkRender>*>(
      mlt_properties_get_data(properties, kRenderProperty, nullptr));
  const int32_t position = mlt_properties_get_int(properties, kEffectFrameProperty);
  refhost::Picture picture;
  bool rendered = false;
  if (held != nullptr && *held != nullptr) {
    std::string problem;
    try {
      rendered = (*held)->Render(position, picture);
      if (!rendered) {
        problem = "frame " + std::to_string(position) +
                  ": the effect could not render it (a source frame was not delivered)";
      }
    } catch (const std::exception& error) {
      problem = "frame " + std::to_string(position) + ": " + error.what();
    }
    if (!problem.empty()) mlt_log_error(MLT_LINK_SERVICE(link), "%s\n", problem.c_str());
  }
  if (!rendered) {
    // Consumers use whatever image they are given, failure or not: a frame
    // the link cannot render is black, of the size asked for.
    mlt_profile profile = ChainProfile(link);
    picture.width = *width > 0 ? *width : (profile ? profile->width : 0);
    picture.height = *height > 0 ? *height : (profile ? profile->height : 0);
    picture.pixels.assign(static_cast<size_t>(picture.width) * picture.height * 4, 0);
  }
  const size_t bytes = picture.pixels.size();
  auto* rgba = static_cast<uint8_t*>(std::malloc(bytes > 0 ? bytes : 1));
  if (rgba == nullptr) return 1;
  const uint8_t* bgra = picture.pixels.data();
  for (size_t i = 0; i < bytes; i += 4) {
    rgba[i] = bgra[i + 2];
    rgba[i + 1] = bgra[i + 1];
    rgba[i + 2] = bgra[i];
    rgba[i + 3] = bgra[i + 3];
  }
  mlt_frame_set_image(frame, rgba, static_cast<int>(bytes), std::free);
  *image = rgba;
  *format = mlt_image_rgba;
  *width = picture.width;
  *height = picture.height;
  mlt_properties_set_int(properties, "width", picture.width);
  mlt_properties_set_int(properties, "height", picture.height);
  return 0;
}

int GetFrame(mlt_link link, mlt_frame_ptr frame, int) {
  auto* state = static_cast<LinkState*>(link->child);
  *frame = mlt_frame_init(MLT_LINK_SERVICE(link));
  const mlt_position position = mlt_producer_position(MLT_LINK_PRODUCER(link));
  mlt_frame_set_position(*frame, position);
  mlt_properties_set_int(MLT_FRAME_PROPERTIES(*frame), kEffectFrameProperty,
                         static_cast<int>(position));
  if (std::shared_ptr<LinkRender> render = state->CurrentRender()) {
    mlt_properties properties = MLT_FRAME_PROPERTIES(*frame);
    const refhost::ProjectSettings& project = render->Project();
    // The output keeps the fields it was rendered as.
    mlt_properties_set_int(properties, "progressive", project.videoType == 0 ? 1 : 0);
    mlt_properties_set_int(properties, "top_field_first",
                           project.fieldDominance == kAvxFieldOdd ? 1 : 0);
    if (state->Source()) mlt_frame_set_aspect_ratio(*frame, state->Source()->sampleAspect);
    mlt_properties_set_data(properties, kRenderProperty,
                            new std::shared_ptr<LinkRender>(std::move(render)), 0, DeleteHeldRender,
                            nullptr);
  }
  mlt_frame_push_service(*frame, link);
  mlt_frame_push_get_image(*frame, GetImage);
  mlt_producer_prepare_next(MLT_LINK_PRODUCER(link));
  return 0;
}

void Close(mlt_link link) {
  delete static_cast<LinkState*>(link->child);
  link->child = nullptr;
  link->close = nullptr;
  mlt_link_close(link);
  std::free(link);
}

mlt_properties Metadata(mlt_service_type, const char*, void* file) {
  const char* data = mlt_environment("MLT_DATA");
  const std::string path =
      std::string(data ? data : "") + "/corvalis/" + static_cast<const char*>(file);
  return mlt_properties_parse_yaml(path.c_str());
}

}  // namespace

void* CreateLink(mlt_profile, mlt_service_type, const char*, const void*) {
  mlt_link link = mlt_link_init();
  if (link == nullptr) return nullptr;
  link->child = new LinkState(link);
  link->get_frame = GetFrame;
  link->close = Close;
  return link;
}

void RegisterServices(mlt_repository repository) {
  mlt_repository_register(repository, mlt_service_link_type, "corvalis",
                          reinterpret_cast<mlt_register_callback>(CreateLink));
  mlt_repository_register_metadata(repository, mlt_service_link_type, "corvalis", Metadata,
                                   const_cast<char*>("link_corvalis.yml"));
}

std::string PluginPath() {
  if (const char* fromEnvironment = std::getenv("CORVALIS_PLUGIN")) return fromEnvironment;
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&CreateLink), &self) != 0 && self.dli_fname != nullptr) {
    std::string folder(self.dli_fname);
    folder = folder.substr(0, folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/'));
    const std::string beside = (folder.empty() ? "." : folder) + "/corvalis/corvalis.so";
    if (access(beside.c_str(), R_OK) == 0) return beside;
  }
  return CORVALIS_DEFAULT_PLUGIN;
}

}  // namespace mltlink
