#pragma once
#include "cli/arguments.h"
#include "cli/console.h"

namespace lumo::cli {

// Runs one command against the device through the wizard's own subsystems; the exit code.
// `results` takes what the command reports (version, port, ...), `console` the messages, log
// lines and progress.
int run_command(const Arguments& a, Console& console, std::FILE* results);

}  // namespace lumo::cli
