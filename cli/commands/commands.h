// The subcommands of the corvalis tool. Each registers itself on the app;
// its callback runs the command and throws MediaError for bad input.
#pragma once

#include <CLI/CLI.hpp>

namespace cli {

void AddRenderCommand(CLI::App& app);
void AddTimelineCommand(CLI::App& app);
void AddLocateCommand(CLI::App& app);
void AddDemoCommand(CLI::App& app);
void AddPhaseCommand(CLI::App& app);
void AddOverlayCommand(CLI::App& app);

// Set by the subcommand that ran: the process's exit code.
extern int commandExitCode;

}  // namespace cli
