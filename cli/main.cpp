#include <QCoreApplication>

#include <csignal>
#include <cstdio>

#include <unistd.h>

#include "cli/arguments.h"
#include "cli/cli_host.h"
#include "cli/commands.h"
#include "cli/console.h"

int main(int argc, char** argv) {
  // A reader that went away is a write error, not a reason to die mid-transfer.
  std::signal(SIGPIPE, SIG_IGN);
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments();
  args.removeFirst();

  lumo::cli::Arguments a;
  QString error;
  if (!lumo::cli::parse_arguments(args, a, &error)) {
    std::fprintf(stderr, "lumo27kq-cli: %s\nTry 'lumo27kq-cli --help'.\n", qUtf8Printable(error));
    return lumo::cli::kUsage;
  }
  if (a.help) {
    std::fputs(qUtf8Printable(lumo::cli::usage_text()), stdout);
    return lumo::cli::kDone;
  }
  lumo::cli::Console console(stderr, ::isatty(STDERR_FILENO) == 1);
  return lumo::cli::run_command(a, console, stdout);
}
