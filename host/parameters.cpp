// The effect's parameter set: created once per instance, in a fixed order,
// each bound to its storage field (whose value at creation is the default).
#include "host/corvalis.h"

namespace {

const char* kInputModeItems[] = {"Interlaced", "Progressive", "3:2", "Duplicate F1",
                                 "Duplicate F2", nullptr};
const char* kOutputModeItems[] = {"Interlaced", "Progressive", "3:2", nullptr};
const char* kAfterEndItems[] = {"Black", "Freeze", "Hold Speed",
                                "Hold Curve", "Loop", "Ping-pong", nullptr};
const char* kOverLimitsItems[] = {"Black", "Freeze", "Loop", "Ping-pong", nullptr};
const char* kDeinterlaceItems[] = {"None", "TapeSim", "Interpolated", "Adaptive", nullptr};

// The number widget the keyed curves use in the host's editor.
constexpr avxPNumberWidget kCurveWidget = 2;
constexpr avxPNumberType kIntegerNumber = 1;
constexpr avxPListType kPopupList = 1;
constexpr avxPStringType kPlainString = 0;

}  // namespace

bool Corvalis::CreateParameters() {
  auto group = [this](const char* label, const char* id, unsigned char flag) {
    avxPGroup* created = avxPGroup::New(label, id, flag);
    AddParameter(created, nullptr);
    return created;
  };
  auto boolean = [this](const char* label, const char* id, bool* field, avxParameter* in) {
    AddParameter(avxPBoolean::New(label, id, field, 1), in);
  };
  auto list = [this](const char* label, const char* id, int32_t* field, const char** items,
                     avxParameter* in) {
    AddParameter(avxPList::New(label, id, field, 4, items, kPopupList), in);
  };

  avxParameter* keyframe = group("Keyframe", "group", 1);
  AddParameter(avxPNumber::New("Speed (%)", "speed", &speed, 4, -10000, 10000, 10, kCurveWidget,
                               kIntegerNumber, 1),
               keyframe);
  AddParameter(avxPNumber::New("Strobe (fields)", "strobe", &strobe, 4, 1, 3600, 10,
                               kCurveWidget, kIntegerNumber, 1),
               keyframe);
  AddParameter(avxPNumber::New("Hold (fields)", "hold", &hold, 4, 0, 3600, 10, kCurveWidget,
                               kIntegerNumber, 1),
               keyframe);

  list("Input", "inputMode", &inputMode, kInputModeItems, group("Input", "group", 1));
  list("Output", "outputMode", &outputMode, kOutputModeItems, group("Output", "group", 1));
  list("After End", "afterEnd", &afterEnd, kAfterEndItems, group("End", "endGroup", 1));
  list("Over Limits", "overLimits", &overLimits, kOverLimitsItems, group("Limit", "group", 1));
  list("Deinterlace", "deinterlace", &deinterlace, kDeinterlaceItems,
       group("De-int", "group", 1));

  avxParameter* interpolation = group("Interpolation", "group", 0);
  boolean("Enhancement", "enhance", &enhance, interpolation);
  boolean("Interpolate All", "interpAll", &interpAll, interpolation);

  avxParameter* adaptive = group("Adaptive", "adaptive", 1);
  boolean("Show Motion", "showMotion", &showMotion, adaptive);
  AddParameter(avxPNumber::New("Diff", "threshold", &threshold, 4, 0, 63, 1, kIntegerNumber, 0),
               adaptive);
  AddParameter(avxPNumber::New("Smooth", "smooth", &smooth, 4, 0, 32, 1, kIntegerNumber, 0),
               adaptive);

  avxParameter* options = group("Options", "options", 1);
  boolean("Blending", "blending", &blending, options);
  boolean("Swap Input Fields", "reverseFields", &reverseFields, options);

  avxParameter* display = group("Display", "display", 1);
  boolean("Show Source", "showSource", &showSource, display);
  boolean("Show Graph", "showGraph", &showGraph, display);
  boolean("Show Time Code", "showTimeCode", &showTimeCode, display);
  AddParameter(
      avxPString::New("Source TC Start", "timeCode", timeCode, kTimeCodeStorageSize, kPlainString),
      display);

  avxPNumber* orderParameter =
      avxPNumber::New("Order", "order", &order, 4, 0, 50, 1, kIntegerNumber, 1);
  AddParameter(orderParameter, nullptr);
  orderParameter->SetHidden(1);
  return true;
}
