// corvalis timeline / corvalis locate: what the effect computed, as text.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/commands/commands.h"
#include "cli/commands/session.h"
#include "host/corvalis.h"
#include "refhost/timeline_probe.h"

namespace cli {

namespace {

Corvalis& Effect(refhost::EffectHost& host) { return static_cast<Corvalis&>(host.Instance()); }

int32_t FieldHeight(const refhost::ProjectSettings& settings, avxField field) {
  if (field == kAvxFieldBoth) return settings.height;
  return field == settings.fieldTopness ? (settings.height + 1) / 2 : settings.height / 2;
}

std::string Double17(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace

void AddTimelineCommand(CLI::App& app) {
  auto* command =
      app.add_subcommand("timeline", "Print the built timeline, one row per output unit");
  auto project = std::make_shared<std::string>();
  auto format = std::make_shared<std::string>("csv");
  command->add_option("project", *project, "Project file (JSON)")->required();
  command->add_option("--format", *format, "csv or json")->check(CLI::IsMember({"csv", "json"}));
  command->callback([=] {
    Session session(LoadProject(*project));
    std::unique_ptr<refhost::EffectHost> host = session.NewHost();
    const refhost::Timeline effect = refhost::BuildTimeline(*host);
    const size_t units = effect.positions.size();
    if (*format == "csv") {
      std::printf("unit,position,speed,strobe,countdown,keymark\n");
      for (size_t u = 0; u < units; ++u) {
        std::printf("%zu,%.17g,%.17g,%d,%d,%d\n", u, effect.positions[u], effect.speeds[u],
                    effect.strobes[u], effect.countdowns[u], effect.keyMarks[u]);
      }
    } else {
      // Numbers are written with full precision, as in the CSV.
      std::printf("[");
      for (size_t u = 0; u < units; ++u) {
        std::printf(
            "%s\n{\"unit\":%zu,\"position\":%s,\"speed\":%s,\"strobe\":%d,"
            "\"countdown\":%d,\"keymark\":%d}",
            u == 0 ? "" : ",", u, Double17(effect.positions[u]).c_str(),
            Double17(effect.speeds[u]).c_str(), effect.strobes[u], effect.countdowns[u],
            effect.keyMarks[u]);
      }
      std::printf("\n]\n");
    }
  });
}

void AddLocateCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "locate", "Print, as JSON, the source position and source images of one output");
  auto project = std::make_shared<std::string>();
  auto frame = std::make_shared<int>(0);
  auto field = std::make_shared<std::string>("first");
  command->add_option("project", *project, "Project file (JSON)")->required();
  command->add_option("--frame", *frame, "Output frame")->required();
  command->add_option("--field", *field, "first, second or frame")
      ->check(CLI::IsMember({"first", "second", "frame"}));
  command->callback([=] {
    Session session(LoadProject(*project));
    const refhost::ProjectSettings& settings = session.Settings();
    if (*frame < 0 || *frame >= settings.totalFrames) {
      throw MediaError("--frame " + std::to_string(*frame) + ": the effect has frames 0 to " +
                       std::to_string(settings.totalFrames - 1));
    }
    std::unique_ptr<refhost::EffectHost> host = session.NewHost();
    avxField which = kAvxFieldBoth;
    int32_t mode = 0;
    if (*field != "frame" && settings.videoType != 0) {
      mode = 1;
      which = *field == "first" ? settings.fieldDominance
                                : (settings.fieldDominance == kAvxFieldOdd ? kAvxFieldEven
                                                                           : kAvxFieldOdd);
    }
    host->SetPosition(*frame, which, mode);
    refhost::Picture picture;
    host->RenderOnce(settings.width, FieldHeight(settings, which), picture);
    const Corvalis& effect = Effect(*host);
    nlohmann::ordered_json result;
    result["sourcePosition"] = effect.sourcePosition;
    result["sourceSpeed"] = effect.sourceSpeed;
    result["sourceStrobe"] = effect.sourceStrobe;
    result["sourceField"] = effect.sourceField;
    result["images"] = nlohmann::ordered_json::array();
    for (size_t i = 0; i < effect.sourceImages.size(); ++i) {
      // Read from the arrays directly: the accessors live in the plug-in.
      const SourceImageList& images = effect.sourceImages;
      result["images"].push_back({{"frame", images.frame[i]},
                                  {"level", images.level[i]},
                                  {"second", images.second[i] != 0},
                                  {"interp", images.interp[i] != 0}});
    }
    std::printf("%s\n", result.dump(2).c_str());
  });
}

}  // namespace cli
