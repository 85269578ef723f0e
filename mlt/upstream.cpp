#include "mlt/upstream.h"

#include <stdexcept>
#include <vector>

namespace mltlink {

namespace {

mlt_chain ChainOf(mlt_link link) {
  return static_cast<mlt_chain>(
      mlt_properties_get_data(MLT_LINK_PROPERTIES(link), "chain", nullptr));
}

mlt_properties SourceProperties(mlt_link link) {
  if (mlt_chain chain = ChainOf(link)) {
    if (mlt_producer source = mlt_chain_get_source(chain)) return MLT_PRODUCER_PROPERTIES(source);
  }
  return link->next ? MLT_PRODUCER_PROPERTIES(link->next) : nullptr;
}

// The length a producer of the same media has on its own, outside a chain;
// -1 when none can be made.
int32_t LengthOfFreshProducer(mlt_link link, mlt_properties source) {
  const char* service = mlt_properties_get(source, "mlt_service");
  const char* resource = mlt_properties_get(source, "resource");
  if (service == nullptr || resource == nullptr) return -1;
  mlt_producer fresh = mlt_factory_producer(ChainProfile(link), service, resource);
  if (fresh == nullptr) return -1;
  const int32_t length = mlt_producer_get_length(fresh);
  mlt_producer_close(fresh);
  return length;
}

int32_t FirstPositive(mlt_properties properties, const char* first, const char* second) {
  const int value = mlt_properties_get_int(properties, first);
  return value > 0 ? value : mlt_properties_get_int(properties, second);
}

}  // namespace

mlt_profile ChainProfile(mlt_link link) {
  mlt_chain chain = ChainOf(link);
  mlt_profile profile = chain ? mlt_service_profile(MLT_CHAIN_SERVICE(chain)) : nullptr;
  return profile ? profile : mlt_service_profile(MLT_LINK_SERVICE(link));
}

SourceFacts ReadSourceFacts(mlt_link link) {
  mlt_properties source = SourceProperties(link);
  if (source == nullptr) throw std::runtime_error("the link has no source before it");
  SourceFacts facts;
  facts.width = FirstPositive(source, "meta.media.width", "width");
  facts.height = FirstPositive(source, "meta.media.height", "height");
  if (facts.width <= 0 || facts.height <= 0) {
    throw std::runtime_error("the source (" +
                             std::string(mlt_properties_get(source, "resource")
                                             ? mlt_properties_get(source, "resource")
                                             : "unnamed") +
                             ") has no picture size");
  }
  mlt_profile profile = ChainProfile(link);
  // A profile of another size has every clip scaled to it before the link,
  // as MLT scales any clip (consumers expect frames of the profile's size).
  // melt's automatic profile of an odd-sized clip is the clip rounded down
  // to even sizes; consumers take the clip's own size there, and the effect
  // keeps every row of it.
  const bool roundedDown =
      profile && profile->width == (facts.width & ~1) && profile->height == (facts.height & ~1);
  if (profile && profile->width > 0 && profile->height > 0 && !roundedDown) {
    facts.width = profile->width;
    facts.height = profile->height;
  }
  facts.rateNum = mlt_properties_get_int(source, "meta.media.frame_rate_num");
  facts.rateDen = mlt_properties_get_int(source, "meta.media.frame_rate_den");
  if (facts.rateNum <= 0 || facts.rateDen <= 0) {
    facts.rateNum = profile ? profile->frame_rate_num : 25;
    facts.rateDen = profile ? profile->frame_rate_den : 1;
  }
  facts.progressive = mlt_properties_get(source, "meta.media.progressive") == nullptr ||
                      mlt_properties_get_int(source, "meta.media.progressive") != 0;
  facts.topFieldFirst = mlt_properties_get_int(source, "meta.media.top_field_first") != 0;
  const int aspectNum = mlt_properties_get_int(source, "meta.media.sample_aspect_num");
  const int aspectDen = mlt_properties_get_int(source, "meta.media.sample_aspect_den");
  if (aspectNum > 0 && aspectDen > 0)
    facts.sampleAspect = static_cast<double>(aspectNum) / aspectDen;
  facts.frameCount = LengthOfFreshProducer(link, source);
  if (facts.frameCount <= 0) {
    mlt_chain chain = ChainOf(link);
    facts.frameCount = chain ? mlt_producer_get_length(MLT_CHAIN_PRODUCER(chain)) : 0;
  }
  return facts;
}

std::string RateMismatch(mlt_link link, const SourceFacts& source) {
  mlt_profile profile = ChainProfile(link);
  if (profile == nullptr || profile->frame_rate_den <= 0) return "";
  if (static_cast<int64_t>(profile->frame_rate_num) * source.rateDen ==
      static_cast<int64_t>(source.rateNum) * profile->frame_rate_den) {
    return "";
  }
  return "the profile's frame rate (" + std::to_string(profile->frame_rate_num) + "/" +
         std::to_string(profile->frame_rate_den) + ") differs from the source's (" +
         std::to_string(source.rateNum) + "/" + std::to_string(source.rateDen) +
         "): MLT would resample the source in time before the link and its fields would be "
         "lost; render with a profile of the source's rate (or melt's automatic profile)";
}

refhost::CachedClip::Frame FetchUpstream(mlt_link link, const SourceFacts& source, int32_t number) {
  if (link->next == nullptr) return nullptr;
  mlt_producer_seek(link->next, number);
  mlt_frame frame = nullptr;
  if (mlt_service_get_frame(MLT_PRODUCER_SERVICE(link->next), &frame, 0) != 0 || frame == nullptr) {
    return nullptr;
  }
  mlt_properties properties = MLT_FRAME_PROPERTIES(frame);
  // As the source has it, so that the normalisers move no line.
  mlt_properties_set_int(properties, "consumer.top_field_first", source.topFieldFirst ? 1 : 0);
  mlt_properties_set_int(properties, "consumer.progressive", 0);
  mlt_image_format format = mlt_image_rgba;
  int width = source.width;
  int height = source.height;
  uint8_t* image = nullptr;
  std::shared_ptr<std::vector<uint8_t>> pixels;
  if (mlt_frame_get_image(frame, &image, &format, &width, &height, 0) == 0 && image != nullptr &&
      format == mlt_image_rgba && width == source.width && height == source.height) {
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    pixels = std::make_shared<std::vector<uint8_t>>(bytes);
    uint8_t* out = pixels->data();
    // MLT's red, green, blue, alpha to the effect's blue, green, red, fourth.
    for (size_t i = 0; i < bytes; i += 4) {
      out[i] = image[i + 2];
      out[i + 1] = image[i + 1];
      out[i + 2] = image[i];
      out[i + 3] = image[i + 3];
    }
  }
  mlt_frame_close(frame);
  return pixels;
}

}  // namespace mltlink
