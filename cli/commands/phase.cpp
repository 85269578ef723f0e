// corvalis phase PROJECT.json: the effect's 3:2 phase dialog, with the presses
// given on the command line standing in for the user.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands/commands.h"
#include "cli/commands/session.h"
#include "host/corvalis.h"
#include "pulldown/resource.h"
#include "refhost/phase_dialog_driver.h"

namespace cli {

namespace {

// Codes the phase lists hold: 0 undetermined, 1 to 5 the five phases.
constexpr int kLastPhaseCode = 5;

// What the command reads of the plug-in's instance: the console lines it has
// queued and its two phase codes.
struct InstanceState {
  size_t queuedLines;
  int32_t inputPhase;
  int32_t outputPhase;
};

// The instance's class is the plug-in's own, and its type information stays
// hidden inside the plug-in module, where the sanitizer's dynamic type check
// cannot reach it from here.
__attribute__((no_sanitize("vptr"))) InstanceState ReadInstanceState(refhost::EffectHost& host) {
  const Corvalis& effect = static_cast<const Corvalis&>(host.Instance());
  return {effect.pendingMessages.size(), effect.inputPhase, effect.outputPhase};
}

// The driver's name for a press on the list or button of one side of the
// dialog: "input" is the clip, "below" the track below.
std::string PressName(const std::string& action, const std::string& side) {
  return action + "-" + side;
}

// "--select input=3" becomes "select-input=3" after checking that the side
// is known and the code is one the lists hold.
std::string SelectPress(const Project& project, const std::string& value) {
  const size_t equals = value.find('=');
  const std::string side = value.substr(0, equals);
  const std::string code = equals == std::string::npos ? "" : value.substr(equals + 1);
  const bool knownSide = side == "input" || side == "below";
  const bool oneDigit = code.size() == 1 && code[0] >= '0' && code[0] <= '0' + kLastPhaseCode;
  if (!knownSide || !oneDigit) {
    throw FileError(project.path, "--select " + value +
                                      ": expected input=CODE or below=CODE, CODE 0 to " +
                                      std::to_string(kLastPhaseCode));
  }
  return "select-" + side + "=" + code;
}

// One repeatable press option and the values it collected, in their order.
struct PressOption {
  const CLI::Option* option;
  const std::vector<std::string>* values;
};

// The presses in the order they were given on the command line, whatever
// option each came from: CLI11 records every value it parsed in that order,
// and each option's values keep it among themselves.
std::vector<std::string> OrderedPresses(const Project& project, const CLI::App& command,
                                        PressOption detect, PressOption manual,
                                        PressOption select) {
  std::vector<std::string> presses;
  size_t detects = 0, manuals = 0, selects = 0;
  for (const CLI::Option* option : command.parse_order()) {
    if (option == detect.option) {
      presses.push_back(PressName("detect", detect.values->at(detects++)));
    } else if (option == manual.option) {
      presses.push_back(PressName("manual", manual.values->at(manuals++)));
    } else if (option == select.option) {
      presses.push_back(SelectPress(project, select.values->at(selects++)));
    }
  }
  return presses;
}

// The text the list shows for a code, as the dialog itself added it.
std::string ItemText(const refhost::PhaseDialogRecord& record, int32_t list, int32_t code) {
  const auto items = record.items.find(list);
  if (items == record.items.end() || code < 0 ||
      code >= static_cast<int32_t>(items->second.size())) {
    return "not a phase code";
  }
  return items->second[code];
}

// The instance data as the project file keeps it: the text before the
// terminating zero.
std::string StoredText(const std::vector<uint8_t>& block) {
  std::string text(block.begin(), block.end());
  return text.substr(0, text.find('\0'));
}

}  // namespace

void AddPhaseCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "phase",
      "Run the 3:2 phase dialog on one frame: the presses in the order given, then OK or Cancel");
  auto project = std::make_shared<std::string>();
  auto frame = std::make_shared<int>(0);
  auto field = std::make_shared<std::string>("first");
  auto detects = std::make_shared<std::vector<std::string>>();
  auto manuals = std::make_shared<std::vector<std::string>>();
  auto selects = std::make_shared<std::vector<std::string>>();
  auto ok = std::make_shared<bool>(false);
  auto save = std::make_shared<bool>(false);
  command->add_option("project", *project, "Project file (JSON)")->required();
  command->add_option("--frame", *frame, "Frame the dialog is opened on (default 0)");
  command
      ->add_option("--field", *field,
                   "Field shown while the dialog is open, for Manual: first (default) or second")
      ->check(CLI::IsMember({"first", "second"}));
  auto* detect = command
                     ->add_option("--detect", *detects,
                                  "Press Detect (input) or Detect from Track Below (below)")
                     ->check(CLI::IsMember({"input", "below"}))
                     ->expected(1)
                     ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  auto* manual =
      command->add_option("--manual", *manuals, "Press Manual: Third Field under input or below")
          ->check(CLI::IsMember({"input", "below"}))
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  auto* select = command
                     ->add_option("--select", *selects,
                                  "Choose item CODE (0 unknown, 1-5 X D B C A) in a list: "
                                  "input=CODE or below=CODE")
                     ->expected(1)
                     ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  auto* close = command->add_option_group("closing", "How the dialog closes (one is required)");
  close->add_flag("--ok", *ok, "Press OK last: keep the phases the lists show");
  // Cancel is what is left when OK is not given.
  close->add_flag("--cancel", "Press Cancel last: undo detections");
  close->require_option(1);
  command->add_flag("--save", *save,
                    "Write the stored phases into the project file's instanceData");
  command->callback([=] {
    Session session(LoadProject(*project));
    const refhost::ProjectSettings& settings = session.Settings();
    const std::string& projectPath = session.GetProject().path;
    if (*frame < 0 || *frame >= settings.totalFrames) {
      throw FileError(projectPath, "--frame " + std::to_string(*frame) +
                                       ": the effect has frames 0 to " +
                                       std::to_string(settings.totalFrames - 1));
    }
    std::vector<std::string> presses =
        OrderedPresses(session.GetProject(), *command, {detect, detects.get()},
                       {manual, manuals.get()}, {select, selects.get()});
    // OK and Cancel end the dialog, so they can only come last.
    presses.push_back(*ok ? "ok" : "cancel");
    refhost::ScriptedDialogDriver user(presses);

    std::unique_ptr<refhost::EffectHost> host = session.NewHost();
    // An editor shows the frame before the user can open the dialog on it.
    // That render loads the stored phases, which the lists start from, and
    // tells the instance whether the project counts fields or frames, which
    // Manual needs.
    refhost::Picture shown;
    if (!host->RenderFrame(*frame, shown)) {
      throw FileError(projectPath, "frame " + std::to_string(*frame) + " did not render");
    }
    if (settings.videoType == 0) {
      host->SetPosition(*frame, kAvxFieldBoth, 0);
    } else {
      const avxField other = settings.fieldDominance == kAvxFieldOdd ? kAvxFieldEven : kAvxFieldOdd;
      host->SetPosition(*frame, *field == "first" ? settings.fieldDominance : other, 1);
    }
    {
      refhost::ScopedDialogDriver installed(user);
      host->OpenEffectDialog();
    }
    const refhost::PhaseDialogRecord& record = user.Record();
    if (!record.opened) throw FileError(projectPath, "the phase dialog did not open");
    if (!record.ended) throw FileError(projectPath, "the phase dialog did not close");

    // Lines queued while the dialog was open come out at the next render,
    // before anything that render prints itself.
    const size_t queued = ReadInstanceState(*host).queuedLines;
    host->ConsoleLines().clear();
    refhost::Picture picture;
    const bool rendered = host->RenderFrame(*frame, picture);
    for (size_t i = 0; i < queued && i < host->ConsoleLines().size(); ++i) {
      std::fputs(host->ConsoleLines()[i].c_str(), stdout);
    }
    if (!rendered) {
      throw FileError(projectPath, "frame " + std::to_string(*frame) + " did not render");
    }
    // The render reloaded the phases from the stored data: these are the
    // codes rendering uses.
    const InstanceState effect = ReadInstanceState(*host);
    std::printf("input phase code: %d (%s)\n", effect.inputPhase,
                ItemText(record, IDC_INPUT_PHASE, effect.inputPhase).c_str());
    std::printf("output phase code: %d (%s)\n", effect.outputPhase,
                ItemText(record, IDC_OUTPUT_PHASE, effect.outputPhase).c_str());
    std::fflush(stdout);

    if (*save) {
      // The file is rewritten only when the stored phases changed, so that
      // Cancel leaves it byte for byte as it was.
      Project& saved = session.GetProject();
      const std::optional<std::string> stored =
          host->HasInstanceData()
              ? std::optional<std::string>(StoredText(host->InstanceDataBlock()))
              : saved.instanceData;
      if (stored == saved.instanceData) {
        std::fprintf(stderr, "%s: stored phases unchanged\n", saved.path.c_str());
      } else {
        saved.instanceData = stored;
        SaveProject(saved, saved.path);
        std::fprintf(stderr, "%s: instanceData \"%s\" saved\n", saved.path.c_str(),
                     stored->c_str());
      }
    }
  });
}

}  // namespace cli
